// The terminal side of the command line: prompts answered at the terminal
// or by standing options, and a progress line on stderr.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/progress.h"
#include "base/prompter.h"

namespace dravik::cli {

// A failure the command reports and exits with.
struct CliError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

bool StdinIsTerminal();
bool StderrIsTerminal();
bool StdoutIsTerminal();

// The system's texts show a doubled '&' where the screen shows one.
std::string Shown(const std::string& text);

// A recovered name made harmless for a terminal or a line of text: control
// characters (C0, DEL and C1) and the backslash are written as escapes, the
// way `ls -b` shows them (\n, \t, \033, \\ ...). `extra` names more
// characters to escape (the body file's field separator '|').
std::string Escaped(std::string_view text, std::string_view extra = {});

class TerminalPrompter : public base::Prompter {
public:
    // Standing answers from the options; nullopt: ask at the terminal.
    std::optional<base::BadSectorAnswer> badSector;
    std::optional<base::CopyErrorAnswer> copyError;
    std::optional<base::ReplaceChoice> replace;
    bool yes = false;  // answer Yes to every question

    void ViewMsgBox(const std::string& text) override;
    int ViewQuestionMsg(const std::string& text) override;
    std::optional<base::BadSectorAnswer> SectorsBadStatusAction() override;
    std::optional<base::CopyErrorAnswer> ErrorCopying() override;
    std::optional<base::ReplaceChoice> FileReplaceOptions() override;
    void FatalError(const std::string& text) noexcept override;

private:
    // Reads one choice among `keys` (case counts); nullopt at end of input.
    std::optional<char> Choose(const std::string& prompt, const std::string& keys);
};

// One status line on stderr, redrawn at most ten times a second; nothing
// when stderr is not a terminal (scripts get the final lines only).
class ProgressLine : public base::ProgressSink {
public:
    ProgressLine();
    ~ProgressLine() override;
    void SetText(base::ProgressField field, const std::string& text) override;
    void SetPercent(int percent) override;
    void RestartElapsed() override { start_ = std::chrono::steady_clock::now(); }
    // Clears the line before other output.
    void Clear();

private:
    void Draw(bool force);
    bool enabled_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDraw_{};
    std::string step_, value_, folders_, files_;
    int percent_ = 0;
    bool drawn_ = false;
};

// Ctrl-C sets a flag the commands poll instead of ending the process.
void InstallInterruptHandler();
bool TakeInterrupt();

}  // namespace dravik::cli
