// The save run's progress page: the copy engine on a worker, its texts and
// bars, Pause/Resume, Stop (asked first), Skip of the current file and Hide
// Details; besides, the files done and the current transfer rate. The
// run's final message comes from the core through the prompter.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

#include "app/save_workflow.h"
#include "base/elapsed.h"
#include "saving/copy_engine.h"
#include "saving/transfer_rate.h"

class QLabel;

namespace dravik::app {
class AppContext;
}

namespace dravik::gui {

class CGradientProgressBar;
class CPictureButton;

class DataCopyProgress : public QDialog {
    Q_OBJECT
public:
    DataCopyProgress(app::AppContext& ctx, const results::ResultsTree& tree, QWidget* parent = nullptr);
    ~DataCopyProgress() override;

    // The buttons' actions; Stop asks first.
    void PauseOrResume();
    void Stop();
    void Skip();
    void ToggleDetails();

    QString FieldText(saving::CopyField field) const;
    QString FilesText() const;
    QString RateText() const;
    // How many files of the run hold unreadable sectors, from the run's own
    // count; empty (and hidden) while none does.
    QString UnreadableText() const;
    CGradientProgressBar* FileBar() const { return fileBar_; }
    CGradientProgressBar* OverallBar() const { return overallBar_; }
    CPictureButton* PauseButton() const { return pause_; }
    CPictureButton* StopButton() const { return stop_; }
    CPictureButton* SkipButton() const { return skip_; }
    CPictureButton* DetailsButton() const { return details_; }
    bool Paused() const { return runner_.Paused(); }
    base::WorkerControl& Control() { return runner_.Control(); }
    // Once the run has ended.
    std::optional<saving::SaveOutcome> Outcome() const;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Esc and the close box are the Stop button.
    void reject() override;

private:
    class Sink;
    void Begin();
    void Flush();
    void Tick();
    void ShowRate();

    app::AppContext& ctx_;
    const results::ResultsTree& tree_;
    app::SaveRunner runner_;
    std::unique_ptr<Sink> sink_;
    std::array<QLabel*, 6> values_{};  // by CopyField
    QList<QWidget*> detailWidgets_;
    QLabel* files_;
    QLabel* rate_;
    QLabel* unreadable_;
    CGradientProgressBar* fileBar_;
    CGradientProgressBar* overallBar_;
    CPictureButton* pause_;
    CPictureButton* stop_;
    CPictureButton* skip_;
    CPictureButton* details_;
    QTimer rateTimer_;
    base::ElapsedClock clock_;
    TransferRate transfer_;
    int filesDone_ = 0;  // as last shown
    bool hidden_ = false;
    bool started_ = false;
    bool closing_ = false;
    bool asking_ = false;
};

}  // namespace dravik::gui
