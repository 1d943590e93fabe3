// What an analysis reads and writes besides the item lists: the recovery
// settings, the geometry of the selected partition and the copy of it the
// running analysis works with, and the $MFT run list.
#pragma once

#include <cstdint>
#include <vector>
#include <string>

#include "analysis/ntfs_runs.h"

namespace dravik::analysis {

enum class RecoveryMode : int { Deleted = 1, Formatted = 2 };

struct RecoverySettings {
    RecoveryMode mode = RecoveryMode::Deleted;
    bool formatted = false;   // set for formatted mode and by the switch to the signature scan
    bool exhaustive = false;  // the analysis covers a sector range searched for file systems
    int phase = 0;            // of an exhaustive search: 0 before the first phase, 1 after it
    bool fromLog = false;     // the state comes from a scan log
};

// Geometry of a volume in absolute sectors. FAT volumes use the FAT fields,
// NTFS volumes the record and $MFT fields; the cluster base is the sector
// where cluster 0 would begin (the partition start on NTFS).
struct VolumeGeometry {
    std::uint32_t sectorsPerRecord = 0;
    std::uint32_t sectorsPerIndexBlock = 0;
    std::uint64_t mftSector = 0;
    std::uint64_t mftMirrSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint64_t rootDirStart = 0;  // FAT32: the root cluster
    std::uint32_t rootDirSectors = 0;
    std::uint32_t reservedSectors = 0;
    std::uint64_t clusterBase = 0;
    std::uint64_t fat1Start = 0;
    std::uint64_t fat2Start = 0;
    std::string fileSystem;  // "NTFS", "FAT12", "FAT16", "FAT32"
};

// The scan log whose lists the next analysis loads instead of reading the
// disk (while the log flag is set).
struct ScanLogSource {
    std::string path;
    std::uint64_t listsOffset = 0;  // where its list sections begin
    bool scanTimeRecords = false;   // saved from the list of a partition search
    bool incomplete = false;        // its lists stopped short of their counts (cut or inconsistent)
};

struct AnalysisState {
    RecoverySettings settings;
    VolumeGeometry partition;  // of the selected partition, from its boot sector
    VolumeGeometry geometry;   // the copy the running analysis uses
    std::uint64_t partitionStart = 0;
    std::uint64_t partitionEnd = 0;
    std::uint32_t bytesPerSector = 512;
    std::uint32_t currentVolume = 0;
    std::uint32_t volumeCount = 0;
    ScanLogSource log;
    ntfs::RunList mftRuns;
    // Extension records holding unnamed data, by their base record, from the
    // last $MFT walk.
    ntfs::ExtensionMap extensionRecords;
    bool extensionRecordsKnown = false;  // false: not gathered for the items held now
    // Extension records by their own number, where the last scan of the
    // records met them.
    ntfs::ExtensionSectors extensionSectors;
    // The runs of the $MFT record among the items a scan found, once a save
    // looked for them.
    std::vector<ntfs::RunList> foundMftRuns;
    bool foundMftRunsKnown = false;
};

}  // namespace dravik::analysis
