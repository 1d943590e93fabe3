#include "analysis/item_store.h"

#include <algorithm>
#include <limits>
#include <new>
#include <tuple>
#include <utility>

namespace dravik::analysis {

// ---- ItemStore ------------------------------------------------------------

namespace {

constexpr char16_t kEmptyWide[1] = {0};

// A name loses the NULs that pad it and is cut to what nameLength can hold,
// without leaving half of a surrogate pair behind. A NUL inside it is kept:
// the name goes on after it (saving makes it safe).
template <class C>
std::basic_string_view<C> Clip(std::basic_string_view<C> name) {
    while (!name.empty() && name.back() == C(0)) name.remove_suffix(1);
    if (name.size() > kMaxNameLength) {
        name = name.substr(0, kMaxNameLength);
        if constexpr (std::is_same_v<C, char16_t>)
            if (name.back() >= 0xD800 && name.back() <= 0xDBFF) name.remove_suffix(1);
    }
    return name;
}

}  // namespace

template <class Record>
ItemId ItemStore<Record>::NewRecord() {
    const ItemId size = records_.Size();
    if ((budget_ && size >= *budget_) || size == std::numeric_limits<ItemId>::max() - 1) throw std::bad_alloc();
    return records_.Append();
}

template <class Record>
void ItemStore<Record>::Place(ItemId id) {
    const Record& record = *records_.At(id);
    if (detail::KeptAtEnd(record)) {
        tailRuns_.Append(record.parent, id);
        tailOrder_.push_back(id);
    } else {
        runs_.Append(record.parent, id);
    }
    count_.store(records_.Size(), std::memory_order_relaxed);
}

template <class Record>
void ItemStore<Record>::CopyName(Record& record, const ItemName& name) {
    if (!name.narrow.empty() && name.narrow.front() != '\0') {
        const std::string_view n = Clip(name.narrow);
        record.nameA = names_.Copy(n);
        record.nameW = nullptr;
        record.nameLength = static_cast<std::uint16_t>(n.size());
    } else {
        const std::u16string_view w = Clip(name.wide);
        record.nameA = nullptr;
        record.nameW = w.empty() ? kEmptyWide : names_.Copy(w);
        record.nameLength = static_cast<std::uint16_t>(w.size());
    }
}

template <class Record>
bool ItemStore<Record>::Reparent(Record& record, std::uint32_t newParent) {
    if (!IdOf(record)) return false;
    Record* one[] = {&record};
    Reparent(std::span<Record* const>(one), newParent);
    return true;
}

template <class Record>
void ItemStore<Record>::Reparent(std::span<Record* const> records, std::uint32_t newParent) {
    Guard([&] {
        struct Move {
            bool tail;
            std::uint32_t oldParent;
            ItemId id;
        };
        std::vector<Move> moves;
        moves.reserve(records.size());
        for (Record* record : records) {
            if (!record || record->parent == newParent) continue;
            const std::optional<ItemId> id = IdOf(*record);
            if (!id) continue;
            moves.push_back({detail::KeptAtEnd(*record), record->parent, *id});
            record->parent = newParent;  // a repeat of this record is now skipped
        }
        if (moves.empty()) return;

        // One pass over each old run, however many of its items leave it.
        std::vector<Move> byRun = moves;
        std::sort(byRun.begin(), byRun.end(), [](const Move& a, const Move& b) {
            return std::tie(a.tail, a.oldParent, a.id) < std::tie(b.tail, b.oldParent, b.id);
        });
        std::vector<ItemId> ids;
        std::vector<ItemId> tailIds;
        for (std::size_t i = 0; i < byRun.size();) {
            std::size_t j = i;
            ids.clear();
            for (; j < byRun.size() && byRun[j].tail == byRun[i].tail && byRun[j].oldParent == byRun[i].oldParent; ++j)
                ids.push_back(byRun[j].id);
            if (byRun[i].tail) {
                tailRuns_.Remove(byRun[i].oldParent, ids);
                tailIds.insert(tailIds.end(), ids.begin(), ids.end());
            } else {
                runs_.Remove(byRun[i].oldParent, ids);
            }
            i = j;
        }
        if (!tailIds.empty()) {
            std::sort(tailIds.begin(), tailIds.end());
            std::erase_if(tailOrder_, [&](ItemId id) { return std::binary_search(tailIds.begin(), tailIds.end(), id); });
        }

        for (const Move& m : moves) {
            if (m.tail) {
                tailRuns_.Append(newParent, m.id);
                tailOrder_.push_back(m.id);
            } else {
                runs_.Append(newParent, m.id);
            }
        }
    });
}

template <class Record>
bool ItemStore<Record>::Rename(Record& record, const ItemName& name) {
    if (!IdOf(record)) return false;
    Guard([&] { CopyName(record, name); });
    return true;
}

template <class Record>
void ItemStore<Record>::ClearItems() {
    records_.Clear();
    names_.Clear();
    runs_.Clear();
    tailRuns_.Clear();
    ReleaseMemory(tailOrder_);
    count_.store(0, std::memory_order_relaxed);
}

template class ItemStore<FolderItem>;
template class ItemStore<FileItem>;

// ---- FolderStore ----------------------------------------------------------

namespace {

std::uint64_t FolderKey(std::uint32_t number, std::uint16_t volume) {
    return std::uint64_t{volume} << 32 | number;
}

std::uint64_t FolderKey(const FolderItem& folder) { return FolderKey(folder.number, folder.volume); }

std::size_t Slot(std::uint64_t key, std::size_t mask) {
    std::uint64_t h = key * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(h ^ (h >> 29)) & mask;
}

}  // namespace

std::optional<ItemId> FolderStore::NumberIndex::Find(std::uint64_t key,
                                                     const detail::RecordChunks<FolderItem>& records) const {
    if (slots_.empty()) return std::nullopt;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Slot(key, mask);; i = (i + 1) & mask) {
        const std::uint32_t slot = slots_[i];
        if (slot == 0) return std::nullopt;
        if (FolderKey(*records.At(slot - 1)) == key) return slot - 1;
    }
}

void FolderStore::NumberIndex::Insert(std::uint64_t key, ItemId id, const detail::RecordChunks<FolderItem>& records) {
    // Kept at most half full so that probe runs stay short.
    if ((used_ + 1) * 2 > slots_.size()) {
        std::vector<std::uint32_t> old = std::exchange(slots_, std::vector<std::uint32_t>(
                                                                   std::max<std::size_t>(1024, slots_.size() * 2)));
        const std::size_t mask = slots_.size() - 1;
        for (std::uint32_t slot : old) {
            if (slot == 0) continue;
            std::size_t i = Slot(FolderKey(*records.At(slot - 1)), mask);
            while (slots_[i] != 0) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = Slot(key, mask);
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = id + 1;
    ++used_;
}

FolderItem* FolderStore::AddFolderItem(const ItemName& name, bool deleted, std::uint32_t parent, std::uint32_t number,
                                       std::uint64_t sector, std::uint64_t modified, std::uint64_t created,
                                       std::uint64_t accessed, std::uint16_t volume) {
    return Guard([&]() -> FolderItem* {
        if (number != 0) {
            if (const std::optional<ItemId> holderId = byNumber_.Find(FolderKey(number, volume), records_)) {
                // Only an in-use folder may take the place of a deleted one.
                FolderItem& holder = *records_.At(*holderId);
                if (holder.deleted != kYes || deleted) return nullptr;
                CopyName(holder, name);
                holder.deleted = kNo;
                holder.modified = modified;
                holder.created = created;
                holder.accessed = accessed;
                holder.sector = sector;
                holder.mark = kNo;
                Reparent(holder, parent);
                return &holder;
            }
        }
        const ItemId id = NewRecord();
        FolderItem& folder = *records_.At(id);
        CopyName(folder, name);
        folder.deleted = deleted ? kYes : kNo;
        folder.kind = 'D';
        folder.modified = modified;
        folder.created = created;
        folder.accessed = accessed;
        folder.treeHandle = 0;
        folder.parent = parent;
        folder.number = number;
        folder.sector = sector;
        folder.volume = volume;
        folder.mark = kNo;
        if (number != 0) byNumber_.Insert(FolderKey(number, volume), id, records_);
        Place(id);
        return &folder;
    });
}

const FolderItem* FolderStore::FindFolder(std::uint32_t number, std::uint16_t volume) const {
    if (number == 0) return nullptr;
    const std::optional<ItemId> id = byNumber_.Find(FolderKey(number, volume), records_);
    return id ? records_.At(*id) : nullptr;
}

FolderItem* FolderStore::FindFolder(std::uint32_t number, std::uint16_t volume) {
    return const_cast<FolderItem*>(std::as_const(*this).FindFolder(number, volume));
}

void FolderStore::SetTreeHandle(FolderItem& folder, std::uint32_t handle) {
    const std::optional<ItemId> id = IdOf(folder);
    if (!id) return;
    Guard([&] {
        if (folder.treeHandle != 0) {
            auto it = byTreeHandle_.find(folder.treeHandle);
            if (it != byTreeHandle_.end() && it->second == *id) byTreeHandle_.erase(it);
        }
        folder.treeHandle = handle;
        if (handle != 0) byTreeHandle_[handle] = *id;
    });
}

const FolderItem* FolderStore::FindByTreeHandle(std::uint32_t handle) const {
    if (handle == 0) return nullptr;
    auto it = byTreeHandle_.find(handle);
    return it == byTreeHandle_.end() ? nullptr : records_.At(it->second);
}

FolderItem* FolderStore::FindByTreeHandle(std::uint32_t handle) {
    return const_cast<FolderItem*>(std::as_const(*this).FindByTreeHandle(handle));
}

void FolderStore::ClearTreeHandles() {
    for (ItemId id = 0; id < records_.Size(); ++id) records_.At(id)->treeHandle = 0;
    ReleaseMemory(byTreeHandle_);
}

void FolderStore::Clear() {
    ClearItems();
    byNumber_.Clear();
    ReleaseMemory(byTreeHandle_);
}

// ---- FileStore ------------------------------------------------------------

FileItem& FileStore::AddFileItem(const ItemName& name, bool deleted, std::uint64_t size, std::uint32_t parent,
                                 std::uint32_t number, std::uint64_t sector, std::uint64_t modified,
                                 std::uint64_t created, std::uint64_t accessed) {
    return Guard([&]() -> FileItem& {
        // Files are never removed before Clear, so the storage id is the
        // count at insertion and FindByIndex is a plain lookup.
        const ItemId id = NewRecord();
        FileItem& file = *records_.At(id);
        CopyName(file, name);
        file.deleted = deleted ? kYes : kNo;
        file.kind = 'F';
        file.modified = modified;
        file.created = created;
        file.accessed = accessed;
        file.index = id;
        file.size = size;
        file.parent = parent;
        file.number = number;
        file.sector = sector;
        file.mark = kNo;
        Place(id);
        return file;
    });
}

void FileStore::Clear() { ClearItems(); }

// ---- ItemLists ------------------------------------------------------------

void ItemLists::Clear() {
    folders.Clear();
    files.Clear();
    scan.Clear();
    volumes.Clear();
    totalSize = 0;
}

}  // namespace dravik::analysis
