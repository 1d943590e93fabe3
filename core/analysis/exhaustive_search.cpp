#include "analysis/exhaustive_search.h"

#include <charconv>

#include "analysis/pipeline.h"
#include "analysis/analysis_context.h"

namespace dravik::analysis {

namespace {

std::optional<std::uint32_t> ParseSector(std::string_view text) {
    std::uint32_t v = 0;
    if (text.empty()) return std::nullopt;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size()) return std::nullopt;
    return v;
}

const char* LabelOf(SearchFileSystem fs) {
    switch (fs) {
        case SearchFileSystem::Fat16: return "FAT16";
        case SearchFileSystem::Fat32: return "FAT32";
        case SearchFileSystem::Ntfs: return "NTFS";
        default: return nullptr;
    }
}

}  // namespace

SearchFileSystem SearchFileSystemFor(std::string_view label) {
    if (label == "NTFS") return SearchFileSystem::Ntfs;
    if (label == "FAT32") return SearchFileSystem::Fat32;
    if (label == "FAT16") return SearchFileSystem::Fat16;
    return SearchFileSystem::Unknown;
}

bool StartExhaustiveSearch(const AnalysisContext& ctx, std::string_view startText, std::string_view endText,
                           SearchFileSystem fileSystem) {
    auto refuse = [&](const char* message) {
        ctx.prompter.ViewMsgBox(message);
        return false;
    };
    const auto start = ParseSector(startText);
    if (!start) return refuse(text::kStartInvalid);
    const auto end = ParseSector(endText);
    if (!end) return refuse(text::kEndInvalid);
    if (*start >= *end) return refuse(text::kEndNotBigger);
    if (fileSystem == SearchFileSystem::Unknown) return refuse(text::kSelectType);
    ctx.source.StartSector = *start;
    ctx.source.EndSector = *end;
    if (const char* label = LabelOf(fileSystem)) ctx.source.PartitionLabel = label;
    return true;
}

std::vector<std::string> FoundFileSystemTexts(const AnalysisContext& ctx) {
    std::vector<std::string> texts;
    const auto& volumes = ctx.items.volumes.items;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const std::string type = ctx.source.PartitionLabel == "NTFS" ? "NTFS" : volumes[i].typeName;
        texts.push_back("File System " + std::to_string(i + 1) + " - " + type);
    }
    return texts;
}

std::string FoundSizeText(std::uint64_t start, std::uint64_t end) {
    const std::uint64_t bytes = end > start ? (end - start) * 512 : 0;
    if (bytes > (std::uint64_t(1) << 30)) return std::to_string(bytes / 1024 / 1024 / 1024) + " GB";
    if (bytes >= (std::uint64_t(1) << 20)) return std::to_string(bytes / 1024 / 1024) + " MB";
    return {};
}

void LocateFatCopies(const AnalysisContext& ctx, analysis::VolumeDescriptor& v) {
    const bool fat16 = v.typeName == "FAT16";
    const std::uint64_t limit = v.clusterBase;
    const std::uint64_t back = fat16 ? 550 : 30000;
    std::uint64_t from = limit > back ? limit - back : 63;
    if (from == 0) from = 63;
    std::uint64_t found[2] = {0, 0};
    int count = 0;
    std::vector<std::uint8_t> chunk(2048 * 512);
    for (std::uint64_t pos = from; pos < limit && count < 2;) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(2048, limit - pos));
        ctx.reader.Read(pos, n, chunk);
        for (std::uint32_t i = 0; i < n && count < 2; ++i) {
            const std::uint8_t* s = chunk.data() + std::size_t(i) * 512;
            if (s[0] == 0xF8 && s[1] == 0xFF && s[2] == 0xFF) found[count++] = pos + i;
        }
        pos += n;
    }
    if (count > 0) v.fat1Start = found[0];
    if (count < 2) return;
    v.fat2Start = found[1];
    v.sectorsPerFat = static_cast<std::uint32_t>(found[1] - found[0]);
    v.rootDirStart = fat16 ? found[1] + v.sectorsPerFat : 2;
}

FoundFileSystem ShowFoundFileSystem(const AnalysisContext& ctx, std::string_view entryText) {
    FoundFileSystem out;
    const std::uint32_t k = analysis::VolumeOrdinalFromEntryText(entryText);
    auto& volumes = ctx.items.volumes.items;
    if (k == 0 || k > volumes.size()) return out;
    analysis::VolumeDescriptor& v = volumes[k - 1];
    out.ordinal = k;
    ctx.analysis.currentVolume = k;
    if (ctx.source.PartitionLabel != "NTFS") {
        ctx.source.PartitionLabel = v.typeName;
        if (v.fat1Start == 0) LocateFatCopies(ctx, v);
        analysis::VolumeGeometry g;
        g.fileSystem = v.typeName;
        g.sectorsPerCluster = v.sectorsPerCluster;
        g.sectorsPerFat = v.sectorsPerFat;
        g.fat1Start = v.fat1Start;
        g.fat2Start = v.fat2Start;
        g.reservedSectors = v.reservedSectors;
        g.rootDirStart = v.rootDirStart ? v.rootDirStart : 2;
        g.rootDirSectors = v.rootDirSectors == 0 && v.typeName == "FAT16" ? 32 : v.rootDirSectors;
        g.clusterBase = v.clusterBase;
        ctx.analysis.partition = g;
    } else {
        // The search ran over the whole range with a guessed geometry; the
        // chosen volume's files are read with its own, counted from its
        // boot sector.
        analysis::VolumeGeometry g;
        g.fileSystem = "NTFS";
        g.clusterBase = v.startSector;
        g.sectorsPerCluster = v.sectorsPerCluster ? v.sectorsPerCluster : 8;
        g.sectorsPerRecord = v.sectorsPerRecord ? v.sectorsPerRecord : 2;
        g.sectorsPerIndexBlock = v.sectorsPerIndexBlock ? v.sectorsPerIndexBlock : 8;
        ctx.analysis.partition = g;
    }
    out.type = ctx.source.PartitionLabel == "NTFS" ? "NTFS" : v.typeName;
    out.start = v.startSector ? v.startSector : v.clusterBase;
    out.end = v.endSector ? v.endSector : ctx.source.EndSector;
    out.size = FoundSizeText(out.start, out.end);
    return out;
}

void LeaveFoundList(const AnalysisContext& ctx) {
    ctx.items.scan.Clear();
    ctx.items.volumes.Clear();
    ctx.analysis.currentVolume = 0;
    ctx.analysis.settings.phase = 0;
}

}  // namespace dravik::analysis
