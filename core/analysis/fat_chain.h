// FAT volumes as the analysis and the copy engine see them, and cluster
// chains through the first FAT.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace dravik::source {
class SectorReader;
}

namespace dravik::analysis {
struct VolumeGeometry;
}

namespace dravik::analysis::fat {

enum class FatType { Fat12, Fat16, Fat32 };

struct FatVolume {
    source::SectorReader* reader = nullptr;
    FatType type = FatType::Fat32;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint64_t fat1Start = 0;
    std::uint64_t fat2Start = 0;
    std::uint64_t clusterBase = 0;   // where cluster 0 would begin
    std::uint64_t rootDirStart = 0;  // a sector on FAT12/16, the root cluster on FAT32
    std::uint32_t rootDirSectors = 0;
    std::uint64_t endSector = 0;     // one past the volume; 0 when unknown

    bool Fat32() const { return type == FatType::Fat32; }
    std::uint64_t ClusterSector(std::uint32_t cluster) const {
        return clusterBase + std::uint64_t(cluster) * sectorsPerCluster;
    }
    // Highest cluster number + 1 that the volume can hold (from its end, or
    // from the FAT's size when the end is unknown).
    std::uint64_t ClusterLimit() const;
};

// The volume described by an analysis geometry block ("FAT12", "FAT16",
// "FAT32") ending at `endSector`.
FatVolume FatVolumeFrom(const VolumeGeometry& g, std::uint64_t endSector, source::SectorReader& reader);

// Reads FAT sectors, keeping the last one read: chains mostly stay inside
// one sector.
class FatReader {
public:
    explicit FatReader(const FatVolume& volume) : volume_(volume) {}
    // The FAT entry of `cluster`, or nullopt when it lies outside the FAT or
    // cannot be read.
    std::optional<std::uint32_t> Entry(std::uint32_t cluster);

private:
    bool Load(std::uint64_t fatSector, std::size_t sectors);
    const FatVolume& volume_;
    std::uint64_t loaded_ = ~std::uint64_t(0);
    std::vector<std::uint8_t> bytes_;
};

inline constexpr std::uint32_t kNoCutOff = 0;
inline constexpr std::uint32_t kDeletedFolderCutOff = 0x0FFFFFFF;

// `first` and its successors through the first FAT, at most `maxClusters` of
// them. The chain ends at an end-of-chain mark, a free or bad cluster, a
// cluster past the volume, or a FAT sector that cannot be read. With the
// deleted-folder cut-off it ends after 25 successors.
std::vector<std::uint32_t> ReadClusterChain(const FatVolume& volume, std::uint32_t first, std::uint32_t cutOff,
                                            std::size_t maxClusters);

}  // namespace dravik::analysis::fat
