#include "analysis/scan_lists.h"

#include <cstdlib>
#include <limits>

#include "analysis/item_storage.h"

namespace dravik::analysis {

void FailOutOfMemory(const OutOfMemoryHandler& onOutOfMemory) noexcept {
    if (onOutOfMemory) onOutOfMemory();
    std::abort();
}

FoundFolder& ScanLists::AddFoundFolder(FoundFolder folder) {
    return GuardAllocation(onOutOfMemory_, [&]() -> FoundFolder& {
        FoundFolder& stored = foundFolders.emplace_back(std::move(folder));
        foundFolderCount_.fetch_add(1, std::memory_order_relaxed);
        return stored;
    });
}

FoundFile& ScanLists::AddFoundFile(FoundFile file) {
    return GuardAllocation(onOutOfMemory_, [&]() -> FoundFile& {
        FoundFile& stored = foundFiles.emplace_back(std::move(file));
        foundFileCount_.fetch_add(1, std::memory_order_relaxed);
        return stored;
    });
}

void ScanLists::AddIndexBlockRef(const IndexBlockRef& ref) {
    GuardAllocation(onOutOfMemory_, [&] { indexBlocks.push_back(ref); });
    indexBlockCount_.fetch_add(1, std::memory_order_relaxed);
}

void ScanLists::AddBootSectorHit(const BootSectorHit& hit) {
    GuardAllocation(onOutOfMemory_, [&] { bootHits.push_back(hit); });
    bootHitCount_.fetch_add(1, std::memory_order_relaxed);
}

void ScanLists::AddFatBootHit(FatBootHit hit) {
    GuardAllocation(onOutOfMemory_, [&] { fatBootHits.push_back(std::move(hit)); });
    bootHitCount_.fetch_add(1, std::memory_order_relaxed);
}

void ScanLists::Clear() {
    // An empty deque still allocates its map.
    GuardAllocation(onOutOfMemory_, [&] {
        ReleaseMemory(foundFolders);
        ReleaseMemory(foundFiles);
    });
    ReleaseMemory(indexBlocks);
    ReleaseMemory(bootHits);
    ReleaseMemory(fatBootHits);
    foundFolderCount_ = 0;
    foundFileCount_ = 0;
    indexBlockCount_ = 0;
    bootHitCount_ = 0;
}

std::uint16_t VolumeList::AddVolumeDescriptor(VolumeDescriptor descriptor) {
    if (items.size() >= std::numeric_limits<std::uint16_t>::max()) return 0;
    GuardAllocation(onOutOfMemory_, [&] { items.push_back(std::move(descriptor)); });
    return static_cast<std::uint16_t>(items.size());
}

void VolumeList::Clear() { ReleaseMemory(items); }

const VolumeDescriptor* VolumeList::Find(std::uint16_t ordinal) const {
    if (ordinal == 0 || ordinal > items.size()) return nullptr;
    return &items[ordinal - 1];
}

}  // namespace dravik::analysis
