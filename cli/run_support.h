// Running long tasks from the command line: progress on stderr, and Ctrl-C
// asking the question the desktop's Stop button asks.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "analysis/pipeline.h"
#include "results/results_view.h"
#include "results/search.h"
#include "session.h"

namespace dravik::cli {

// Runs the analysis the context is set up for. `stopped` learns whether it
// was stopped early (Ctrl-C answered Yes, or a signal that ends the run):
// what it found is then partial.
analysis::AnalysisOutcome RunAnalysisInterruptibly(Session& s, bool* stopped = nullptr);

// From now on SIGTERM and SIGHUP do not end the process at once: the long
// task in hand finishes its current piece and the command ends cleanly.
void CatchEndSignals();
// The signal that asked the command to end (SIGINT too when no terminal
// can answer the question Ctrl-C asks), or 0.
int EndSignal();
void NoteEndSignal(int signal);
// Polls for such a signal, and for Ctrl-C without a terminal; true once the
// command has been asked to end.
bool EndRequested();
// The exit status of a command ended by a signal: 128 + its number.
int InterruptedStatus();

// Loads a scan log into the session: its head (with or without the disk it
// was made on) and its lists, and returns the results view over them.
std::unique_ptr<results::ResultsView> LoadLog(Session& s, const std::string& log, bool needSource);

// A date as the command line writes it (YYYY-MM-DD); nullopt when it is not
// one.
std::optional<results::DayMonthYear> ParseDay(const std::string& text);

// A path as the shell writes it ("Docs/Letters/", UTF-8) as the tree writes
// it ("Docs\Letters").
std::u16string TreePath(const std::string& shellPath);

}  // namespace dravik::cli
