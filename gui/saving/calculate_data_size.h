// The count of what a save will write: the core's size walk on a worker,
// its totals shown as they grow, and Stop, which keeps what was counted.
#pragma once

#include <QDialog>
#include <atomic>
#include <cstdint>

#include "app/save_workflow.h"

class QLabel;

namespace dravik::app {
class AppContext;
}
namespace dravik::results {
class ResultsTree;
}

namespace dravik::gui {

class CPictureButton;

class CalculateDataSize : public QDialog {
    Q_OBJECT
public:
    CalculateDataSize(app::AppContext& ctx, const results::ResultsTree& tree, QWidget* parent = nullptr);
    ~CalculateDataSize() override;

    QString TotalFilesText() const;
    QString DataSizeText() const;
    CPictureButton* StopButton() const { return stop_; }
    bool Running() const { return run_.Running(); }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Esc and the close box are the Stop button.
    void reject() override;

private:
    void Begin();
    void Stop();
    void ShowTotals();

    app::AppContext& ctx_;
    const results::ResultsTree& tree_;
    app::SizeRun run_;
    QLabel* files_;
    QLabel* size_;
    CPictureButton* stop_;
    std::atomic<std::int32_t> count_ = 0;
    std::atomic<std::uint64_t> bytes_ = 0;
    std::atomic<bool> totalsQueued_ = false;
    bool started_ = false;
    bool closing_ = false;
    bool asking_ = false;  // the Stop question is open
};

}  // namespace dravik::gui
