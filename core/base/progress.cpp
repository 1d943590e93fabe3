#include "base/progress.h"

#include "base/size_text.h"

namespace dravik::base {

std::string ProgressTexts::ValueText(const ProgressCounts& c) {
    if (c.kind == ProgressCounts::Kind::Size) return SizeText(c.value);
    if (c.ntfs) return Format("%u", c.indexBlocks);
    return Format("%llu/%llu", static_cast<unsigned long long>(c.value), static_cast<unsigned long long>(c.endSector));
}

std::string ProgressTexts::DetailText(const ProgressCounts& c) {
    if (c.kind != ProgressCounts::Kind::Sector || !c.ntfs) return {};
    return Format(" Analysing  Sectors :     %llu/%llu", static_cast<unsigned long long>(c.value),
                  static_cast<unsigned long long>(c.endSector));
}

void ProgressTexts::Send(const ProgressCounts& c, ProgressSink& sink) {
    // The detail line moves with every update of an NTFS sector scan.
    if (std::string detail = DetailText(c); !detail.empty()) sink.SetText(ProgressField::Detail, detail);
    if (std::string value = ValueText(c); value != lastValue_) {
        sink.SetText(ProgressField::Value, value);
        lastValue_ = std::move(value);
    }
    if (c.folders != lastFolders_) {
        sink.SetText(ProgressField::Folders, Format("%u", c.folders));
        lastFolders_ = c.folders;
    }
    if (c.files != lastFiles_) {
        sink.SetText(ProgressField::Files, Format("%u", c.files));
        lastFiles_ = c.files;
    }
    if (!nameShown_ || c.lastName != lastName_) {
        sink.SetText(ProgressField::LastName, c.lastName);
        lastName_ = c.lastName;
        nameShown_ = true;
    }
}

}  // namespace dravik::base
