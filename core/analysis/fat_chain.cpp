#include "analysis/fat_chain.h"

#include <optional>

#include "analysis/analysis_state.h"
#include "platform/le.h"
#include "source/sector_reader.h"

namespace dravik::analysis::fat {

std::uint64_t FatVolume::ClusterLimit() const {
    std::uint64_t limit = ~std::uint64_t(0);
    if (endSector > clusterBase && sectorsPerCluster)
        limit = (endSector - clusterBase) / sectorsPerCluster;
    // The FAT cannot describe more clusters than it has entries for.
    std::uint64_t entries = std::uint64_t(sectorsPerFat) * 512;
    entries = type == FatType::Fat32 ? entries / 4 : type == FatType::Fat16 ? entries / 2 : entries * 2 / 3;
    return std::min(limit, entries);
}

FatVolume FatVolumeFrom(const VolumeGeometry& g, std::uint64_t endSector, source::SectorReader& reader) {
    FatVolume v;
    v.reader = &reader;
    v.type = g.fileSystem == "FAT12" ? FatType::Fat12 : g.fileSystem == "FAT16" ? FatType::Fat16 : FatType::Fat32;
    v.sectorsPerCluster = g.sectorsPerCluster;
    v.sectorsPerFat = g.sectorsPerFat;
    v.fat1Start = g.fat1Start;
    v.fat2Start = g.fat2Start;
    v.clusterBase = g.clusterBase;
    v.rootDirStart = g.rootDirStart;
    v.rootDirSectors = g.rootDirSectors;
    v.endSector = endSector;
    return v;
}

bool FatReader::Load(std::uint64_t fatSector, std::size_t sectors) {
    if (fatSector == loaded_ && bytes_.size() >= sectors * 512) return true;
    bytes_.assign(sectors * 512, 0);
    // FAT arithmetic assumes 512-byte sectors throughout.
    if (volume_.reader->Read(volume_.fat1Start + fatSector, static_cast<std::uint32_t>(sectors), bytes_) == 0) {
        loaded_ = ~std::uint64_t(0);
        return false;
    }
    loaded_ = fatSector;
    return true;
}

std::optional<std::uint32_t> FatReader::Entry(std::uint32_t cluster) {
    if (volume_.fat1Start == 0 || volume_.reader == nullptr) return std::nullopt;
    switch (volume_.type) {
        case FatType::Fat12: {
            const std::uint64_t byte = std::uint64_t(cluster) * 3 / 2;
            const std::uint64_t sector = byte / 512;
            if (sector >= volume_.sectorsPerFat || !Load(sector, 2)) return std::nullopt;
            const std::uint16_t pair = platform::U16(bytes_, byte % 512);
            return (cluster & 1) ? pair >> 4 : pair & 0x0FFF;
        }
        case FatType::Fat16: {
            const std::uint64_t sector = cluster / 256;
            if (sector >= volume_.sectorsPerFat || !Load(sector, 1)) return std::nullopt;
            return platform::U16(bytes_, (cluster % 256) * 2);
        }
        case FatType::Fat32: {
            const std::uint64_t sector = cluster / 128;
            if (sector >= volume_.sectorsPerFat || !Load(sector, 1)) return std::nullopt;
            return platform::U32(bytes_, (cluster % 128) * 4) & 0x0FFFFFFF;
        }
    }
    return std::nullopt;
}

std::vector<std::uint32_t> ReadClusterChain(const FatVolume& volume, std::uint32_t first, std::uint32_t cutOff,
                                            std::size_t maxClusters) {
    std::vector<std::uint32_t> chain;
    const std::uint64_t limit = volume.ClusterLimit();
    if (first < 2 || first >= limit || maxClusters == 0) return chain;
    // Values from this one on end a chain: bad-cluster and end marks.
    const std::uint32_t endMark = volume.type == FatType::Fat12   ? 0xFF7
                                  : volume.type == FatType::Fat16 ? 0xFFF7
                                                                  : 0x0FFFFFF7;
    FatReader fat(volume);
    std::uint32_t cluster = first;
    chain.push_back(cluster);
    while (chain.size() < maxClusters) {
        if (cutOff == kDeletedFolderCutOff && chain.size() > 25) break;
        auto next = fat.Entry(cluster);
        if (!next || *next < 2 || *next >= endMark || *next >= limit) break;
        cluster = *next;
        chain.push_back(cluster);
    }
    return chain;
}

}  // namespace dravik::analysis::fat
