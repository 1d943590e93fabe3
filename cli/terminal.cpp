#include "terminal.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "base/elapsed.h"
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

void TerminalPrompter::ViewMsgBox(const std::string& text) { std::cerr << Shown(text) << "\n"; }

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
    std::cerr << Shown(text) << "\n";
    if (yes) return 1;
    auto c = Choose("[y/n]", "yYnN");
    return c && (*c == 'y' || *c == 'Y') ? 1 : 2;
}

std::optional<base::BadSectorAnswer> TerminalPrompter::SectorsBadStatusAction() {
    if (badSector) return badSector;
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
    std::cerr << Shown(base::msg::kErrorCopying) << "\n";
    auto c = Choose("s = Skip, S = Skip All, a = Abort:", "sSa");
    if (!c) throw CliError("a file could not be created: set --on-error skip|abort");
    return *c == 's' ? base::CopyErrorAnswer::Skip : *c == 'S' ? base::CopyErrorAnswer::SkipAll : base::CopyErrorAnswer::Abort;
}

std::optional<base::ReplaceChoice> TerminalPrompter::FileReplaceOptions() {
    if (replace) return replace;
    std::cerr << Shown(base::msg::kFileReplace) << "\n";
    auto c = Choose("y = Yes, s = Skip, r = Rename (upper case: " + std::string(base::msg::kDoThisForAll) + "):",
                    "ysrYSR");
    if (!c) throw CliError("the destination already has a file: set --on-conflict overwrite|skip|rename");
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

ProgressLine::ProgressLine() : enabled_(StderrIsTerminal()) {}
ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::SetText(base::ProgressField field, const std::string& text) {
    switch (field) {
        case base::ProgressField::Step: step_ = Shown(text); break;
        case base::ProgressField::Value: value_ = text; break;
        case base::ProgressField::Folders: folders_ = text; break;
        case base::ProgressField::Files: files_ = text; break;
        default: return;
    }
    Draw(field == base::ProgressField::Step);
}

void ProgressLine::SetPercent(int percent) {
    percent_ = percent;
    Draw(false);
}

void ProgressLine::Draw(bool force) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_);
    std::string line = base::Format("\r\x1b[K%3d%% %s", percent_, step_.c_str());
    if (!folders_.empty() || !files_.empty())
        line += base::Format("  folders %s files %s", folders_.empty() ? "0" : folders_.c_str(),
                            files_.empty() ? "0" : files_.c_str());
    if (!value_.empty()) line += "  " + value_;
    line += "  " + base::ElapsedText(elapsed);
    std::fputs(line.c_str(), stderr);
    drawn_ = true;
}

void ProgressLine::Clear() {
    if (enabled_ && drawn_) std::fputs("\r\x1b[K", stderr);
    drawn_ = false;
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
