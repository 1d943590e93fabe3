// Raw findings of a signature scan, kept in scan order until the dump step
// turns them into folder and file items, and the descriptors of the file
// systems found on the source.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "analysis/item_records.h"

namespace dravik::analysis {

// Called when a store cannot get memory. It runs on the thread that was
// storing and must end the process; if it returns, the process aborts.
using OutOfMemoryHandler = std::function<void()>;

// Runs the handler (when there is one), then aborts.
[[noreturn]] void FailOutOfMemory(const OutOfMemoryHandler& onOutOfMemory) noexcept;

// Runs `f`, turning std::bad_alloc into FailOutOfMemory. Stores never report
// an allocation failure to their callers.
template <class F>
decltype(auto) GuardAllocation(const OutOfMemoryHandler& onOutOfMemory, F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        FailOutOfMemory(onOutOfMemory);
    }
}

// A directory FILE record found by the scan (the exhaustive FAT scan reuses
// it for sub-directory clusters).
struct FoundFolder {
    std::u16string name;
    char deleted = kNo;
    std::uint64_t modified = 0;
    std::uint64_t created = 0;
    std::uint64_t accessed = 0;
    std::uint32_t parent = 0;
    std::uint32_t number = 0;      // 0 until known
    std::uint64_t sector = 0;
    std::uint32_t indexLcn = 0;    // first cluster of the index allocation, 0 if none
    std::uint32_t volume = 0;      // 0 until assigned
};

// A non-directory FILE record found by the scan.
struct FoundFile {
    std::u16string name;
    char deleted = kNo;
    std::uint64_t modified = 0;
    std::uint64_t created = 0;
    std::uint64_t accessed = 0;
    std::uint32_t stamp = 0;       // the file-item count when found; kept for the scan log
    std::uint64_t size = 0;
    std::uint32_t parent = 0;
    std::uint32_t number = 0;      // 0 until inferred, except for metafiles
    std::uint64_t sector = 0;
};

inline constexpr std::uint32_t kScanTag = 0xFFFFFFFF;

// An INDX block found by the scan.
struct IndexBlockRef {
    std::uint64_t sector = 0;
    std::uint32_t owner = 0;       // folder number from the first entry's parent reference
    std::uint32_t vcn = 0;         // low 32 bits
    std::uint32_t tag = kScanTag;
};

// An NTFS boot sector found by the scan. Sector and cluster numbers are kept
// at full width so that volumes past 2 TiB still work.
struct BootSectorHit {
    std::uint64_t sector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t sectorsPerIndexBlock = 0;
    std::uint32_t sectorsPerRecord = 0;
    std::uint64_t totalSectors = 0;
    std::uint64_t mftLcn = 0;
    std::uint64_t mftMirrLcn = 0;
};

// A FAT boot sector found by the exhaustive FAT scan.
struct FatBootHit {
    std::uint64_t sector = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t rootDirSectors = 0;
    std::uint32_t reservedSectors = 0;
    std::uint64_t rootDirStart = 0;
    std::uint64_t clusterBase = 0;
    std::uint64_t fat1Start = 0;
    std::uint64_t fat2Start = 0;
    std::uint64_t endSector = 0;
    std::string typeName;          // "FAT32" or "FAT16"
};

// One file system analysed on the source. NTFS descriptors leave the FAT
// values 0; FAT descriptors leave the last two 0.
struct VolumeDescriptor {
    std::string typeName;          // "NTFS", "FAT12", "FAT16" or "FAT32"
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t startSector = 0;
    std::uint64_t endSector = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint32_t rootDirSectors = 0;
    std::uint32_t reservedSectors = 0;
    std::uint64_t rootDirStart = 0;
    std::uint64_t clusterBase = 0;
    std::uint64_t fat1Start = 0;
    std::uint64_t fat2Start = 0;
    std::uint32_t sectorsPerRecord = 0;
    std::uint32_t sectorsPerIndexBlock = 0;
};

// The scan-time lists. Records keep the order in which they were added; the
// dump takes found folders and files from the front. The counters count
// records added since the last Clear (they do not drop when the dump
// consumes) and may be read from another thread while one worker adds.
struct ScanLists {
    explicit ScanLists(OutOfMemoryHandler onOutOfMemory = {}) : onOutOfMemory_(std::move(onOutOfMemory)) {}
    ScanLists(const ScanLists&) = delete;
    ScanLists& operator=(const ScanLists&) = delete;

    std::deque<FoundFolder> foundFolders;
    std::deque<FoundFile> foundFiles;
    std::vector<IndexBlockRef> indexBlocks;
    std::vector<BootSectorHit> bootHits;
    std::vector<FatBootHit> fatBootHits;

    // The references stay valid until the record is consumed or cleared.
    FoundFolder& AddFoundFolder(FoundFolder folder);
    FoundFile& AddFoundFile(FoundFile file);
    void AddIndexBlockRef(const IndexBlockRef& ref);
    void AddBootSectorHit(const BootSectorHit& hit);
    void AddFatBootHit(FatBootHit hit);

    std::uint32_t FoundFolderCount() const noexcept { return foundFolderCount_.load(std::memory_order_relaxed); }
    std::uint32_t FoundFileCount() const noexcept { return foundFileCount_.load(std::memory_order_relaxed); }
    std::uint32_t IndexBlockCount() const noexcept { return indexBlockCount_.load(std::memory_order_relaxed); }
    // NTFS and FAT boot sectors share one count.
    std::uint32_t BootHitCount() const noexcept { return bootHitCount_.load(std::memory_order_relaxed); }

    // Frees every record and resets the counters.
    void Clear();

private:
    OutOfMemoryHandler onOutOfMemory_;
    std::atomic<std::uint32_t> foundFolderCount_ = 0;
    std::atomic<std::uint32_t> foundFileCount_ = 0;
    std::atomic<std::uint32_t> indexBlockCount_ = 0;
    std::atomic<std::uint32_t> bootHitCount_ = 0;
};

// The file systems of the source; a descriptor's 1-based position is the
// `volume` ordinal that items carry.
struct VolumeList {
    explicit VolumeList(OutOfMemoryHandler onOutOfMemory = {}) : onOutOfMemory_(std::move(onOutOfMemory)) {}

    std::vector<VolumeDescriptor> items;

    // Returns the new descriptor's ordinal (1 for the first), or 0 without
    // storing it when the 16-bit ordinals are used up.
    std::uint16_t AddVolumeDescriptor(VolumeDescriptor descriptor);
    // Null for ordinal 0 and ordinals past the end.
    const VolumeDescriptor* Find(std::uint16_t ordinal) const;
    std::size_t Count() const noexcept { return items.size(); }
    void Clear();

private:
    OutOfMemoryHandler onOutOfMemory_;
};

}  // namespace dravik::analysis
