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

// Runs the analysis the context is set up for.
analysis::AnalysisOutcome RunAnalysisInterruptibly(Session& s);

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
