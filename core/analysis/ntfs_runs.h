// Data runs (mapping pairs) of non-resident attributes, and locating FILE
// records through the run list of the $MFT.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "analysis/ntfs_record.h"

namespace dravik::source {
class SectorReader;
}

namespace dravik::analysis::ntfs {

// One run in absolute device sectors. A sparse run has no clusters on disk:
// `start` is 0 and `sparse` is set (its data reads as zeros).
struct DataRun {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    bool sparse = false;
    bool operator==(const DataRun&) const = default;
};
using RunList = std::vector<DataRun>;

// Decodes the mapping pairs at `offset` (up to `end`) of a non-resident
// attribute into runs appended to `out`. Cluster numbers accumulate from 0
// for each call (every attribute extent starts its own chain); starts are
// `baseSector` + cluster x sectorsPerCluster. Returns the number of clusters
// the decoded runs cover. Stops quietly at a malformed pair (a field wider
// than 8 bytes, a negative cluster, an overflow).
std::uint64_t DecodeRuns(Bytes record, std::size_t offset, std::size_t end, std::uint64_t baseSector,
                         std::uint32_t sectorsPerCluster, RunList& out);

// Sector of a record, given the run list of the $MFT; 0 when it lies beyond
// the last run or in a sparse one.
std::uint64_t SectorOfRecord(const RunList& mftRuns, std::uint64_t recordNumber, std::uint32_t sectorsPerRecord);

// Extension records by the base record they name, as a walk of the $MFT
// found them (whether or not the base's attribute list still lists them).
using ExtensionMap = std::unordered_map<std::uint32_t, std::vector<std::uint32_t>>;

// Where a scan of the records met each extension record, by its own number
// (a partition search may meet the same number on several volumes).
using ExtensionSectors = std::unordered_map<std::uint32_t, std::vector<std::uint64_t>>;

// What the record-locating decoders need to know about the volume.
struct NtfsVolume {
    source::SectorReader* reader = nullptr;
    std::uint64_t partitionStart = 0;
    std::uint32_t sectorsPerCluster = 8;
    std::uint32_t sectorsPerRecord = 2;
    RunList mftRuns;
    const ExtensionMap* extensions = nullptr;
    // Without the $MFT's runs: where the scan met the extension records,
    // and the runs of the $MFT records the scan found (a formatted volume
    // has an old one and a new one; neither is trusted: a record read
    // through them must name its base).
    const ExtensionSectors* extensionSectors = nullptr;
    const std::vector<RunList>* foundMftRuns = nullptr;
};

// Reads one record (sectorsPerRecord sectors) at `sector`. Empty when the
// reader is missing or the geometry is unusable.
std::vector<std::uint8_t> ReadRecordAt(const NtfsVolume& volume, std::uint64_t sector);

// Reads `count` sectors of the $MFT from its sector `first` (counted from the
// $MFT's start) through the run list, so that a record split between two
// runs (possible with clusters smaller than a record) reads whole. Sectors
// past the last run and in sparse runs read as zeros. `out` holds at least
// count sectors.
void ReadMftSectors(const NtfsVolume& volume, std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out);

// Record `number` of the $MFT, read through the run list; empty when it lies
// past the last run.
std::vector<std::uint8_t> ReadMftRecord(const NtfsVolume& volume, std::uint64_t number);

// Record numbers of the unnamed $DATA extents that the record's attribute
// list names, in list order, without repeats. The list may be resident or
// non-resident (then it is read from the volume).
std::vector<std::uint32_t> ListDataExtensions(const NtfsVolume& volume, Bytes record);

// Record numbers that the record's attribute list (resident or not) names for
// attributes of `type`, in list order, without repeats.
std::vector<std::uint32_t> ListExtensions(const NtfsVolume& volume, Bytes record, std::uint32_t type);

// Name and parent of a record whose $FILE_NAME may have moved to an extension
// record: the base (fixed up here) first, then the records its attribute list
// names for $FILE_NAME, located through the $MFT run list. The times always
// come from the base record's $STANDARD_INFORMATION, which never moves.
FileNameInfo ReadRecordName(const NtfsVolume& volume, MutableBytes base);

// The run list of a file's unnamed data: the base record at `baseRecordSector`
// and the extension records its attribute list names (located through the
// $MFT run list), ordered by their first cluster number within the file. An
// attribute-list entry naming the base record itself is not decoded twice.
// `stream` names an alternate data stream whose runs are wanted instead.
// Extension records are found as ReadRecordOf finds them.
RunList CollectFileRuns(const NtfsVolume& volume, std::uint64_t baseRecordSector, std::u16string_view stream = {});
// The same for the file whose base record is $MFT record `number`. When the
// volume knows extension records naming this base that its attribute list
// no longer lists (deleting attributes one by one can leave it so), their
// extents are added where they continue the file.
RunList CollectRecordRuns(const NtfsVolume& volume, std::uint64_t number, std::u16string_view stream = {});

// The alternate data streams of a file: those starting in its base record
// (fixed up), then those its attribute list places in extension records.
std::vector<NamedStream> CollectNamedStreams(const NtfsVolume& volume, Bytes base,
                                            std::optional<std::uint64_t> baseSector = std::nullopt);

// Record `number`, an extension record of the file whose base record is
// `base`: through the $MFT's runs, or, when they do not lead to it (a
// signature scan knows no runs) and `baseSector` is given, where the $MFT
// would hold it if it ran on contiguously from the base, provided the
// record there carries that number and names that base. Empty otherwise.
std::vector<std::uint8_t> ReadRecordOf(const NtfsVolume& volume, Bytes base, std::optional<std::uint64_t> baseSector,
                                       std::uint32_t number);

// The record (base or extension, fixed up) holding the start of the file's
// $DATA named `stream` (unnamed when empty): its resident value, or the
// header of its first extent with the sizes and compression. Nothing when
// neither the base nor a listed extension record holds it.
std::optional<std::vector<std::uint8_t>> RecordStartingData(const NtfsVolume& volume, Bytes base,
                                                            std::u16string_view stream,
                                                            std::optional<std::uint64_t> baseSector = std::nullopt);

// The runs of the $I30 index allocation of folder record `number` (its
// index blocks), following its attribute list.
RunList CollectIndexRuns(const NtfsVolume& volume, std::uint64_t number);

// The run list of the $MFT itself, from record 0 at `mftSector` (and the
// extension records its attribute list names, located through the runs
// gathered so far).
RunList BuildMftRuns(const NtfsVolume& volume, std::uint64_t mftSector);

}  // namespace dravik::analysis::ntfs
