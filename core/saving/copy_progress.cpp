#include "saving/copy_progress.h"

#include <algorithm>

#include "base/size_text.h"

namespace dravik::saving {

std::optional<int> FilePercent(const CopyCounts& c) {
    if (c.fileSize == 0) return std::nullopt;
    return static_cast<int>(std::min<std::uint64_t>(100, c.fileWritten * 100 / c.fileSize));
}

std::optional<int> OverallPercent(const CopyCounts& c) {
    if (c.bytesWritten == 0 || c.selectedBytes == 0) return std::nullopt;
    // Divided first where the product would wrap (sizes damaged records claim).
    const std::uint64_t w = c.bytesWritten, t = c.selectedBytes;
    const std::uint64_t p = w <= UINT64_MAX / 100 ? w * 100 / t : w / (t / 100 ? t / 100 : 1);
    return static_cast<int>(std::min<std::uint64_t>(100, p));
}

std::string SizeTextIn(std::uint64_t bytes) {
    constexpr std::uint64_t kGb = std::uint64_t(1) << 30, kTb = std::uint64_t(1) << 40;
    if (bytes > kTb) return base::Format("%.3f TB size in", static_cast<double>(bytes) / static_cast<double>(kTb));
    if (bytes > kGb) return base::Format("%.3f GB size in", static_cast<double>(bytes) / static_cast<double>(kGb));
    return base::Format("%.3f MB size in", static_cast<double>(bytes) / (1024.0 * 1024.0));
}

std::string MinSecText(std::int64_t seconds) {
    return base::Format("%lld Min %lld Sec", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
}

CopyProgressTexts CopyProgressTexts::Of(const CopyCounts& c) {
    CopyProgressTexts t;
    if (!c.file.empty()) {
        t.folderName = c.file.parent_path().string() + "/";
        t.lastDataName = c.file.filename().string();
    }
    t.dataSize = SizeTextIn(c.selectedBytes);
    t.dataCopied = SizeTextIn(c.bytesWritten);
    const std::int64_t elapsed = c.elapsedSeconds - c.pausedSeconds;
    if (elapsed <= 0) {
        t.timeLeft = text::kTimeZero;
        t.timeElapsed = text::kTimeZero;
        return t;
    }
    // Whole bytes a second, as the page has always counted.
    const std::uint64_t rate = c.bytesWritten / static_cast<std::uint64_t>(elapsed);
    if (rate == 0) return t;
    const std::uint64_t left = c.selectedBytes > c.bytesWritten ? (c.selectedBytes - c.bytesWritten) / rate : 0;
    t.timeLeft = MinSecText(static_cast<std::int64_t>(left));
    t.timeElapsed = MinSecText(elapsed);
    return t;
}

std::optional<std::string> CopyProgressTexts::Field(CopyField field) const {
    switch (field) {
        // Before the first file there is no name to show.
        case CopyField::FolderName: return folderName.empty() ? std::nullopt : std::optional(folderName);
        case CopyField::LastDataName: return folderName.empty() ? std::nullopt : std::optional(lastDataName);
        case CopyField::DataSize: return dataSize;
        case CopyField::DataCopied: return dataCopied;
        case CopyField::TimeLeft: return timeLeft;
        case CopyField::TimeElapsed: return timeElapsed;
    }
    return std::nullopt;
}

bool UpdateThrottle::Due(Clock::time_point now) {
    if (any_ && ++calls_ < everyCalls_) return false;
    calls_ = 0;
    if (any_ && now - last_ < gap_) return false;
    Sent(now);
    return true;
}

void UpdateThrottle::Sent(Clock::time_point now) {
    any_ = true;
    calls_ = 0;
    last_ = now;
}

}  // namespace dravik::saving
