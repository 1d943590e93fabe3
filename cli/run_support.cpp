#include "run_support.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "analysis/analysis_texts.h"
#include "base/size_text.h"
#include "platform/text.h"
#include "app/workflow.h"
#include "drives/drive_catalogue.h"

namespace dravik::cli {

namespace {

volatile std::sig_atomic_t g_endSignal = 0;
extern "C" void OnEndSignal(int signal) { g_endSignal = signal; }

}  // namespace

void CatchEndSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

int EndSignal() { return g_endSignal; }

void NoteEndSignal(int signal) {
    if (!g_endSignal) g_endSignal = signal;
}

bool EndRequested() {
    // Without a terminal nobody can answer "stop?": Ctrl-C (or a SIGINT from
    // a script) means stop.
    if (!g_endSignal && !StdinIsTerminal() && TakeInterrupt()) NoteEndSignal(SIGINT);
    return g_endSignal != 0;
}

int InterruptedStatus() { return 128 + (g_endSignal ? static_cast<int>(g_endSignal) : SIGINT); }

namespace {

// The progress line, and the place where Ctrl-C is noticed: between two
// items of the analysis, which is where its stop request is honoured.
class InterruptibleProgress final : public ProgressLine {
public:
    InterruptibleProgress(Session& s, base::WorkerControl& control) : s_(s), control_(control) {}
    bool Stopped() const { return stopped_; }
    void SetText(base::ProgressField field, const std::string& text) override {
        Check();
        ProgressLine::SetText(field, text);
    }
    void SetPercent(int percent) override {
        Check();
        ProgressLine::SetPercent(percent);
    }

private:
    void Check() {
        // A signal stops each step as a Yes to the question would: what was
        // found so far is kept.
        if (EndRequested()) {
            stopped_ = true;
            control_.RequestStop();
            return;
        }
        if (!TakeInterrupt()) return;
        Clear();
        if (s_.prompter.ViewQuestionMsg(analysis::text::kStopQuestion) == 1) {
            stopped_ = true;
            control_.RequestStop();
        }
    }
    Session& s_;
    base::WorkerControl& control_;
    bool stopped_ = false;
};

}  // namespace

analysis::AnalysisOutcome RunAnalysisInterruptibly(Session& s, bool* stopped) {
    app::AnalysisRun run(*s.ctx);
    InterruptibleProgress sink(s, run.Control());
    run.Start(sink);
    run.Join();
    sink.Clear();
    if (const auto failure = run.Failure()) std::rethrow_exception(failure);
    if (stopped) *stopped = sink.Stopped();
    return run.Outcome().value_or(analysis::AnalysisOutcome::Terminated);
}

std::unique_ptr<results::ResultsView> LoadLog(Session& s, const std::string& log, bool needSource) {
    auto& ctx = *s.ctx;
    const std::string path = app::FindScanLog(log);
    if (path.empty()) throw CliError("no scan log " + log);
    const auto load = app::PrepareLogLoad(ctx, path, needSource);
    if (!load) {
        if (needSource && !load.diskFound && !load.model.empty())
            throw CliError("the scan log was made on \"" + load.model + "\": attach that disk or image with --image");
        if (!load.problem.empty()) throw CliError(load.problem);
        throw CliError("the scan log " + path + " could not be read");
    }
    const auto outcome = RunAnalysisInterruptibly(s);
    if (outcome == analysis::AnalysisOutcome::Terminated) throw CliError("stopped");
    // Part of a log (one cut short by a killed run, or damaged) would be
    // listed or recovered as if it were all: the message said why, the
    // status says it is refused.
    if (ctx.analysis.log.incomplete)
        throw CliError("the scan log " + path + " is incomplete or damaged; nothing of it is used");
    auto view = std::make_unique<results::ResultsView>(ctx);
    view->Open();
    return view;
}

std::optional<results::DayMonthYear> ParseDay(const std::string& text) {
    int y = 0, m = 0, d = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d", &y, &m, &d) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
        return std::nullopt;
    return results::DayMonthYear{d, m, y};
}

std::u16string TreePath(const std::string& shellPath) {
    std::u16string path = platform::Utf8ToUtf16(shellPath);
    while (!path.empty() && path.back() == u'/') path.pop_back();
    // "/Docs/a.txt", as body files and other listings write paths: the root
    // is the volume's.
    while (!path.empty() && path.front() == u'/') path.erase(0, 1);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

}  // namespace dravik::cli
