#include "terminal.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "base/messages.h"
#include "base/size_text.h"

namespace dravik::cli {

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

std::string Escaped(std::string_view text, std::string_view extra) {
    auto octal = [](std::string& out, unsigned char c) {
        out += '\\';
        out += static_cast<char>('0' + (c >> 6));
        out += static_cast<char>('0' + ((c >> 3) & 7));
        out += static_cast<char>('0' + (c & 7));
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // U+0080..U+009F (C1, among them the one-byte CSI) in UTF-8.
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            octal(out, c);
            octal(out, static_cast<unsigned char>(text[++i]));
            continue;
        }
        switch (c) {
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\t': out += "\\t"; continue;
            case '\r': out += "\\r"; continue;
            default: break;
        }
        if (c < 0x20 || c == 0x7F || extra.find(static_cast<char>(c)) != std::string_view::npos)
            octal(out, c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string Shown(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '&' && i + 1 < text.size() && text[i + 1] == '&') ++i;
    }
    return out;
}

void TerminalPrompter::ViewMsgBox(const std::string& text) {
    ClearStatusLine();
    std::cerr << Shown(text) << "\n";
}

std::optional<char> TerminalPrompter::Choose(const std::string& prompt, const std::string& keys) {
    if (!StdinIsTerminal()) return std::nullopt;
    for (;;) {
        std::cerr << prompt << " " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return std::nullopt;
        if (line.size() == 1 && keys.find(line[0]) != std::string::npos) return line[0];
    }
}

int TerminalPrompter::ViewQuestionMsg(const std::string& text) {
    ClearStatusLine();
    std::cerr << Shown(text) << "\n";
    if (yes) return 1;
    auto c = Choose("[y/n]", "yYnN");
    return c && (*c == 'y' || *c == 'Y') ? 1 : 2;
}

std::optional<base::BadSectorAnswer> TerminalPrompter::SectorsBadStatusAction() {
    if (badSector) return badSector;
    ClearStatusLine();
    std::cerr << Shown(base::msg::kSectorsBad) << "\n";
    auto c = Choose("r = Retry, R = Retry All, s = Skip, S = Skip All:", "rRsS");
    if (!c) throw CliError("an unreadable sector needs an answer: set --on-bad-sector retry|skip");
    switch (*c) {
        case 'r': return base::BadSectorAnswer::RetryOnce;
        case 'R': return base::BadSectorAnswer::RetryAll;
        case 's': return base::BadSectorAnswer::SkipOnce;
        default: return base::BadSectorAnswer::SkipAll;
    }
}

std::optional<base::CopyErrorAnswer> TerminalPrompter::ErrorCopying() {
    if (copyError) return copyError;
    ClearStatusLine();
    std::cerr << Shown(base::msg::kErrorCopying) << "\n";
    auto c = Choose("s = Skip, S = Skip All, a = Abort:", "sSa");
    if (!c) throw CliError("a file could not be created: set --on-error skip|abort");
    return *c == 's' ? base::CopyErrorAnswer::Skip : *c == 'S' ? base::CopyErrorAnswer::SkipAll : base::CopyErrorAnswer::Abort;
}

std::optional<base::ReplaceChoice> TerminalPrompter::FileReplaceOptions() {
    if (replace) return replace;
    ClearStatusLine();
    std::cerr << Shown(base::msg::kFileReplace) << "\n";
    if (!currentFile.empty()) std::cerr << "  " << Escaped(currentFile) << "\n";
    // Nothing can be asked without a terminal: do not print choices nobody
    // can take.
    if (StdinIsTerminal())
        std::cerr << "  y = Yes: replace the file there with the recovered one\n"
                     "  s = Skip: keep the file there, do not write this one\n"
                     "  r = Rename: write the recovered one under a numbered name beside it\n"
                     "  Y, S, R: the same, and \"" << base::msg::kDoThisForAll << "\": no more questions\n";
    auto c = Choose("[y/s/r/Y/S/R]", "ysrYSR");
    if (!c)
        throw CliError("the destination already has " +
                       (currentFile.empty() ? std::string("a file") : Escaped(currentFile)) +
                       ": set --on-conflict overwrite|skip|rename");
    switch (*c) {
        case 'y': return base::ReplaceChoice::Yes;
        case 'Y': return base::ReplaceChoice::YesForAll;
        case 's': return base::ReplaceChoice::Skip;
        case 'S': return base::ReplaceChoice::SkipForAll;
        case 'r': return base::ReplaceChoice::Rename;
        default: return base::ReplaceChoice::RenameForAll;
    }
}

void TerminalPrompter::FatalError(const std::string& text) noexcept {
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
}

std::string BinarySize(std::uint64_t bytes) {
    if (bytes < 1024) return base::Format("%llu bytes", static_cast<unsigned long long>(bytes));
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    // Rounding to one decimal may reach 1024.0: name the next unit then.
    while (value >= 1023.95 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    return base::Format("%.1f %s", value, kUnits[unit]);
}

std::string ClockText(std::chrono::seconds duration) {
    const long long s = duration.count() < 0 ? 0 : duration.count();
    return base::Format("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
}

namespace {
StatusLine* g_shown = nullptr;  // the line drawn last, if not cleared since
}  // namespace

StatusLine::StatusLine() : enabled_(StderrIsTerminal()) {}
StatusLine::~StatusLine() { Clear(); }

void StatusLine::Draw(const std::string& text) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    if (g_shown && g_shown != this) g_shown->Clear();
    std::fputs(("\r\x1b[K" + text).c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
    g_shown = this;
}

void StatusLine::Clear() {
    if (enabled_ && drawn_) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }
    drawn_ = false;
    // The next draw comes at once: after a message the line is back soon.
    lastDraw_ = {};
    if (g_shown == this) g_shown = nullptr;
}

void ClearStatusLine() {
    if (g_shown) g_shown->Clear();
}

void ProgressLine::SetText(base::ProgressField field, const std::string& text) {
    switch (field) {
        case base::ProgressField::Step: step_ = Shown(text); break;
        case base::ProgressField::Value: value_ = text; break;
        case base::ProgressField::Folders: folders_ = text; break;
        case base::ProgressField::Files: files_ = text; break;
        default: return;
    }
    Redraw();
}

void ProgressLine::SetPercent(int percent) {
    percent_ = percent;
    Redraw();
}

void ProgressLine::Redraw() {
    if (!Enabled()) return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_);
    std::string line = base::Format("%3d%% %s", percent_, step_.c_str());
    if (!folders_.empty() || !files_.empty())
        line += base::Format("  folders %s files %s", folders_.empty() ? "0" : folders_.c_str(),
                            files_.empty() ? "0" : files_.c_str());
    if (!value_.empty()) line += "  " + value_;
    line += "  elapsed " + ClockText(elapsed);
    Draw(line);
}

namespace {
volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) { g_interrupted = 1; }
}  // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    // A destination with a file-size limit must fail the write (and be
    // reported like any write error), not end the process mid-file.
    ::signal(SIGXFSZ, SIG_IGN);
}

bool TakeInterrupt() {
    if (!g_interrupted) return false;
    g_interrupted = 0;
    return true;
}

}  // namespace dravik::cli
