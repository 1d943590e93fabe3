// The analysis page: runs one analysis on a worker and shows its progress,
// elapsed time and counters; Stop, Pause, Back and Hide Details act on the
// worker; completion opens the results.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <memory>

#include "app/dialog_look.h"

class QLabel;

namespace dravik::app {
class AppContext;
class AnalysisRun;
}  // namespace dravik::app

namespace dravik::gui {

class CGradientProgressBar;
class CPictureButton;
class QueuedProgress;

class RecoveryAnalysis : public WizardPage {
    Q_OBJECT
public:
    // exec() results beyond Accepted (results shown) and Rejected (Back).
    static constexpr int kFoundListFollows = 2;
    // The results asked for Advance Mode: the caller runs the analysis again.
    static constexpr int kAdvanceModeFollows = 3;

    RecoveryAnalysis(app::AppContext& ctx, QWidget* parent = nullptr);
    ~RecoveryAnalysis() override;

    // Stop, Pause and Back ask the user; these act as the Yes answers do.
    void StopAnalysis();
    void PauseOrResume();
    void GoBack();
    void ToggleDetails();

    bool Paused() const { return paused_; }
    // Seconds shown by the elapsed-time field.
    qint64 ElapsedMs() const;
    QString ElapsedText() const;
    QString ValueLabelText() const;
    QString FieldText(const char* name) const;
    CGradientProgressBar* Bar() const { return bar_; }
    CPictureButton* StopButton() const { return stop_; }
    CPictureButton* PauseButton() const { return pause_; }
    CPictureButton* BackButton() const { return back_; }
    CPictureButton* DetailsButton() const { return details_; }
    app::AnalysisRun& Run() { return *run_; }
    // When false, completion closes the page without opening the results
    // (tests that look at the items).
    void SetOpensResults(bool opens) { opensResults_ = opens; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Begin();
    void OnText(int field, const QString& text);
    void OnPercent(int percent);
    void Tick();
    void Animate();
    void WorkerDone();
    void ShowResults();

    app::AppContext& ctx_;
    std::unique_ptr<app::AnalysisRun> run_;
    std::unique_ptr<QueuedProgress> sink_;
    QLabel* heading_;
    QLabel* step_;
    QLabel* detail_;
    QLabel* help_;
    QList<QWidget*> detailWidgets_;
    QLabel* elapsed_;
    QLabel* valueLabel_;
    QLabel* value_;
    QLabel* folders_;
    QLabel* files_;
    QLabel* lastName_;
    CGradientProgressBar* bar_;
    CPictureButton* details_;
    CPictureButton* pause_;
    CPictureButton* stop_;
    CPictureButton* back_;
    QTimer elapsedTimer_;  // timer 2
    QTimer barTimer_;      // timer 1
    QElapsedTimer clock_;
    qint64 pausedMs_ = 0;
    qint64 pauseStart_ = 0;
    bool paused_ = false;
    bool hidden_ = false;
    bool started_ = false;
    bool done_ = false;
    bool percentSeen_ = false;
    bool opensResults_ = true;
    bool advanceModeChosen_ = false;
    int animation_ = 0;
};

}  // namespace dravik::gui
