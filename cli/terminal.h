// The terminal side of the command line: prompts answered at the terminal
// or by standing options, and a progress line on stderr.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/progress.h"
#include "exit_status.h"
#include "base/prompter.h"

namespace dravik::cli {

// A failure the command reports and exits with: a usage or input error
// unless another status is given (exit_status.h).
struct CliError : std::runtime_error {
    explicit CliError(const std::string& what, int exitStatus = exit_status::kUsage)
        : std::runtime_error(what), status(exitStatus) {}
    int status;
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
    // The destination file the save is writing, so that the replace prompt
    // can say which file it asks about.
    std::string currentFile;

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

// A byte count in binary units with the unit named: "415.7 MiB", "512 bytes".
std::string BinarySize(std::uint64_t bytes);

// "h:mm:ss" of a duration, for elapsed and remaining times.
std::string ClockText(std::chrono::seconds duration);

// The one status line on stderr, redrawn at most ten times a second; nothing
// when stderr is not a terminal (scripts get the final lines only). Whatever
// else is written to the terminal clears it first (ClearStatusLine), so that
// no message lands on the tail of a progress line.
class StatusLine {
public:
    StatusLine();
    virtual ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;
    bool Enabled() const { return enabled_; }
    // Draws `text` unless the last draw was less than 100 ms ago.
    void Draw(const std::string& text);
    // Clears the line before other output.
    void Clear();

private:
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Clears the status line that is on the screen, if any.
void ClearStatusLine();

// The analysis's progress on the status line.
class ProgressLine : public base::ProgressSink, public StatusLine {
public:
    void SetText(base::ProgressField field, const std::string& text) override;
    void SetPercent(int percent) override;
    void RestartElapsed() override { start_ = std::chrono::steady_clock::now(); }

private:
    void Redraw();
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::string step_, value_, folders_, files_;
    int percent_ = 0;
};

// Ctrl-C sets a flag the commands poll instead of ending the process.
void InstallInterruptHandler();
bool TakeInterrupt();

}  // namespace dravik::cli
