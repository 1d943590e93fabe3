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

void AnalysisProgress::UpdateProgress(std::uint64_t value, std::uint32_t folders, std::uint32_t files,
                                      std::u16string_view lastName, ProgressMode mode) {
    if (++calls_ < kEvery) return;
    calls_ = 0;
    if (hide_.load(std::memory_order_relaxed)) {
        if (!hidden_) sink_.HideDetails();
        hidden_ = true;
        return;
    }
    hidden_ = false;
    std::string valueText;
    if (mode == ProgressMode::Sector) {
        const std::string pair = Format("%llu/%llu", static_cast<unsigned long long>(value),
                                        static_cast<unsigned long long>(endSector_));
        if (ntfs_) {
            valueText = Format("%u", indexBlocks_);
            sink_.SetText(ProgressField::Detail, " Analysing  Sectors :     " + pair);
        } else {
            valueText = pair;
        }
    } else {
        valueText = base::SizeText(value);
    }
    if (valueText != lastValue_) {
        sink_.SetText(ProgressField::Value, valueText);
        lastValue_ = std::move(valueText);
    }
    if (folders != lastFolders_) {
        sink_.SetText(ProgressField::Folders, Format("%u", folders));
        lastFolders_ = folders;
    }
    if (files != lastFiles_) {
        sink_.SetText(ProgressField::Files, Format("%u", files));
        lastFiles_ = files;
    }
    if (!nameShown_ || lastName != lastName_) {
        sink_.SetText(ProgressField::LastName, platform::Utf16ToUtf8(lastName));
        lastName_.assign(lastName);
        nameShown_ = true;
    }
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
