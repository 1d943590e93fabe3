#include "analysis/analysis_progress.h"

#include <algorithm>

#include "base/size_text.h"
#include "platform/text.h"

namespace dravik::analysis {

using base::Format;
using base::ProgressField;

void AnalysisProgress::SetSectorContext(std::uint64_t endSector, bool ntfs) {
    endSector_ = endSector;
    ntfs_ = ntfs;
}

bool AnalysisProgress::Due() {
    ++calls_;
    if (forced_) {
        forced_ = false;
    } else {
        // The clock is read every 16th call only: items can come a few
        // hundred nanoseconds apart.
        const bool counted = calls_ >= kEvery;
        if ((counted ? calls_ - kEvery : calls_) % 16 != 0) return false;
        const auto since = clock_() - lastUpdate_;
        if (counted ? updated_ && since < kMinInterval : since < kMaxInterval) return false;
    }
    calls_ = 0;
    lastUpdate_ = clock_();
    updated_ = true;
    return true;
}

void AnalysisProgress::UpdateProgress(std::uint64_t value, std::uint32_t folders, std::uint32_t files,
                                      std::u16string_view lastName, ProgressMode mode) {
    if (!Due()) return;
    if (hide_.load(std::memory_order_relaxed)) {
        if (!hidden_) sink_.HideDetails();
        hidden_ = true;
        return;
    }
    hidden_ = false;
    base::ProgressCounts c;
    c.kind = mode == ProgressMode::Sector ? base::ProgressCounts::Kind::Sector : base::ProgressCounts::Kind::Size;
    c.value = value;
    c.endSector = endSector_;
    c.ntfs = ntfs_;
    c.indexBlocks = indexBlocks_;
    c.folders = folders;
    c.files = files;
    // Converted only when the name changed: most updates of a scan keep it.
    if (lastName != lastName_) {
        lastName_.assign(lastName);
        lastNameText_ = platform::Utf16ToUtf8(lastName);
    }
    c.lastName = lastNameText_;
    sink_.SetCounts(c);
}

void AnalysisProgress::Counter(const char* format, std::uint32_t done, std::uint32_t total) {
    if (++counterCalls_ < 256 && done != total) return;
    counterCalls_ = 0;
    sink_.SetText(ProgressField::Detail, Format(format, done, total));
}

void AnalysisProgress::Percent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return;
    const long double p = static_cast<long double>(done) * 100 / static_cast<long double>(total);
    SetPercent(static_cast<int>(std::min<long double>(p, 100)));
}

void AnalysisProgress::SetPercent(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == percent_) return;
    percent_ = percent;
    sink_.SetPercent(percent);
}

}  // namespace dravik::analysis
