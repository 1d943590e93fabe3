// The folder and file lists of an analysis.
//
// Both lists are kept sorted by `parent`; items with the same parent stay in
// the order they were stored. Folders with number 0 (number not known) come
// after all other folders, in the order they were stored. The results view,
// the copy engine and the scan log hold pointers to records, so a record
// never moves until Clear: records live in fixed-size chunks and names in a
// chunked arena.
//
// Threads: one thread changes a store at a time. Count() may be read from
// another thread while it does; everything else only from the thread that
// changes the store, or after it has finished.
//
// Iterators and child ranges are invalidated by any change to the store;
// record pointers only by Clear.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "analysis/item_records.h"
#include "analysis/item_storage.h"
#include "analysis/scan_lists.h"

namespace dravik::analysis {
namespace detail {

inline bool KeptAtEnd(const FolderItem& folder) { return folder.number == 0; }
inline bool KeptAtEnd(const FileItem&) { return false; }

}  // namespace detail

// The children of one parent in list order: a random-access view over up to
// two runs of ids (a folder's numbered children, then its number-0 ones).
template <class Record>
class ItemRange {
    using Chunks = detail::RecordChunks<std::remove_const_t<Record>>;

public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::remove_const_t<Record>;
        using difference_type = std::ptrdiff_t;
        using pointer = Record*;
        using reference = Record&;

        Iterator() = default;
        Record& operator*() const { return Get(records_, first_, second_, pos_); }
        Record* operator->() const { return &**this; }
        Iterator& operator++() {
            ++pos_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++pos_;
            return old;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.pos_ == b.pos_; }

    private:
        friend class ItemRange;
        Iterator(const ItemRange& range, std::size_t pos)
            : records_(range.records_), first_(range.first_), second_(range.second_), pos_(pos) {}

        const Chunks* records_ = nullptr;
        std::span<const ItemId> first_;
        std::span<const ItemId> second_;
        std::size_t pos_ = 0;
    };

    ItemRange() = default;
    ItemRange(const Chunks* records, std::span<const ItemId> first, std::span<const ItemId> second)
        : records_(records), first_(first), second_(second) {}

    std::size_t size() const noexcept { return first_.size() + second_.size(); }
    bool empty() const noexcept { return size() == 0; }
    // `i` must be below size().
    Record& operator[](std::size_t i) const { return Get(records_, first_, second_, i); }
    Iterator begin() const { return Iterator(*this, 0); }
    Iterator end() const { return Iterator(*this, size()); }

private:
    static Record& Get(const Chunks* records, std::span<const ItemId> first, std::span<const ItemId> second,
                       std::size_t i) {
        return *records->At(i < first.size() ? first[i] : second[i - first.size()]);
    }

    const Chunks* records_ = nullptr;
    std::span<const ItemId> first_;
    std::span<const ItemId> second_;
};

// What the folder and file stores share: storage, order, names, reparenting.
template <class Record>
class ItemStore {
    template <bool Const>
    class BasicIterator {
        using Ref = std::conditional_t<Const, const Record&, Record&>;

    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Record;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<Const, const Record*, Record*>;
        using reference = Ref;

        BasicIterator() = default;
        Ref operator*() const { return *store_->records_.At(Id()); }
        pointer operator->() const { return store_->records_.At(Id()); }
        BasicIterator& operator++() {
            ++pos_;
            if (at_ != store_->runs_.End() && pos_ == store_->runs_.RunAt(at_).size()) {
                at_ = store_->runs_.Next(at_);
                pos_ = 0;
            }
            return *this;
        }
        BasicIterator operator++(int) {
            BasicIterator old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const BasicIterator& a, const BasicIterator& b) {
            return a.at_ == b.at_ && a.pos_ == b.pos_;
        }

    private:
        friend class ItemStore;
        using Position = detail::ParentRuns::Position;
        BasicIterator(const ItemStore* store, Position at, std::size_t pos) : store_(store), at_(at), pos_(pos) {}
        // Past the sorted runs, pos_ indexes the number-0 folders.
        ItemId Id() const {
            return at_ != store_->runs_.End() ? store_->runs_.RunAt(at_)[pos_] : store_->tailOrder_[pos_];
        }

        const ItemStore* store_ = nullptr;
        Position at_{};
        std::size_t pos_ = 0;
    };

public:
    using iterator = BasicIterator<false>;
    using const_iterator = BasicIterator<true>;

    ItemStore(const ItemStore&) = delete;
    ItemStore& operator=(const ItemStore&) = delete;

    // Number of records stored; safe to read from another thread.
    std::uint32_t Count() const noexcept { return count_.load(std::memory_order_relaxed); }

    // The whole list in order.
    iterator begin() { return iterator(this, runs_.First(), 0); }
    iterator end() { return iterator(this, runs_.End(), tailOrder_.size()); }
    const_iterator begin() const { return const_iterator(this, runs_.First(), 0); }
    const_iterator end() const { return const_iterator(this, runs_.End(), tailOrder_.size()); }

    // The items whose `parent` is `parent`, in list order. O(log n).
    ItemRange<Record> Children(std::uint32_t parent) {
        return ItemRange<Record>(&records_, runs_.Run(parent), tailRuns_.Run(parent));
    }
    ItemRange<const Record> Children(std::uint32_t parent) const {
        return ItemRange<const Record>(&records_, runs_.Run(parent), tailRuns_.Run(parent));
    }

    // By storage id; null past the end.
    Record* At(ItemId id) noexcept { return id < records_.Size() ? records_.At(id) : nullptr; }
    const Record* At(ItemId id) const noexcept { return id < records_.Size() ? records_.At(id) : nullptr; }
    // Nullopt for a record of another store.
    std::optional<ItemId> IdOf(const Record& record) const noexcept { return records_.IdOf(&record); }

    // Gives the record a new parent and moves it to the end of that parent's
    // run (number-0 folders: to the end of the list). A record that already
    // has that parent stays where it is. False for a record of another store.
    bool Reparent(Record& record, std::uint32_t newParent);
    // The same for many records in one pass over each old parent's run; they
    // join the new parent's run in the order given. Foreign records and
    // repeats are skipped.
    void Reparent(std::span<Record* const> records, std::uint32_t newParent);

    // Gives the record a new name (same rules as when storing). The old name's
    // bytes stay in the arena until Clear. False for a record of another store.
    bool Rename(Record& record, const ItemName& name);

    // For tests: behave as if memory ran out once Count() reaches `items`.
    void SetItemBudget(std::optional<std::uint32_t> items) { budget_ = items; }

protected:
    explicit ItemStore(OutOfMemoryHandler onOutOfMemory) : onOutOfMemory_(std::move(onOutOfMemory)) {}
    ~ItemStore() = default;

    template <class F>
    decltype(auto) Guard(F&& f) {
        return GuardAllocation(onOutOfMemory_, std::forward<F>(f));
    }
    // Appends a default record, honouring the budget.
    ItemId NewRecord();
    // Puts a filled-in new record into its place in the order and counts it.
    void Place(ItemId id);
    void CopyName(Record& record, const ItemName& name);
    void ClearItems();

    OutOfMemoryHandler onOutOfMemory_;
    detail::RecordChunks<Record> records_;
    detail::NameArena names_;
    detail::ParentRuns runs_;         // the sorted part of the list
    detail::ParentRuns tailRuns_;     // number-0 folders by parent, for Children
    std::vector<ItemId> tailOrder_;   // number-0 folders in list order
    std::atomic<std::uint32_t> count_ = 0;
    std::optional<std::uint32_t> budget_;
};

class FolderStore : public ItemStore<FolderItem> {
public:
    explicit FolderStore(OutOfMemoryHandler onOutOfMemory = {}) : ItemStore(std::move(onOutOfMemory)) {}

    // Stores a folder, or settles a duplicate (same non-zero `number` and
    // `volume`): a deleted holder is overwritten in place by an in-use
    // newcomer (names, times, sector, deleted, mark = 'n'; it moves only if
    // its parent changes) and returned; in every other case the newcomer is
    // dropped and null returned. Folders with number 0 are never
    // de-duplicated and go to the end of the list.
    FolderItem* AddFolderItem(const ItemName& name, bool deleted, std::uint32_t parent, std::uint32_t number,
                              std::uint64_t sector, std::uint64_t modified, std::uint64_t created,
                              std::uint64_t accessed, std::uint16_t volume);

    // O(1); null for number 0 and for unknown folders.
    FolderItem* FindFolder(std::uint32_t number, std::uint16_t volume);
    const FolderItem* FindFolder(std::uint32_t number, std::uint16_t volume) const;

    // The results view records its tree handles here to find folders by them.
    // Handle 0 means none. If two folders are given one handle, the later wins.
    void SetTreeHandle(FolderItem& folder, std::uint32_t handle);
    FolderItem* FindByTreeHandle(std::uint32_t handle);
    const FolderItem* FindByTreeHandle(std::uint32_t handle) const;
    // Sets every folder's handle back to 0 (the tree was rebuilt).
    void ClearTreeHandles();

    void Clear();

private:
    // (number, volume) → id, open addressing over ids only: keys are read
    // from the records, which keeps this at a few bytes per folder.
    class NumberIndex {
    public:
        std::optional<ItemId> Find(std::uint64_t key, const detail::RecordChunks<FolderItem>& records) const;
        void Insert(std::uint64_t key, ItemId id, const detail::RecordChunks<FolderItem>& records);
        void Clear() {
            ReleaseMemory(slots_);
            used_ = 0;
        }

    private:
        std::vector<std::uint32_t> slots_;  // id + 1; 0 = free
        std::size_t used_ = 0;
    };

    NumberIndex byNumber_;
    std::unordered_map<std::uint32_t, ItemId> byTreeHandle_;
};

class FileStore : public ItemStore<FileItem> {
public:
    explicit FileStore(OutOfMemoryHandler onOutOfMemory = {}) : ItemStore(std::move(onOutOfMemory)) {}

    // Stores a file; files are never de-duplicated. `index` becomes Count()
    // before the insert.
    FileItem& AddFileItem(const ItemName& name, bool deleted, std::uint64_t size, std::uint32_t parent,
                          std::uint32_t number, std::uint64_t sector, std::uint64_t modified, std::uint64_t created,
                          std::uint64_t accessed);

    // O(1); null for an index never stamped.
    FileItem* FindByIndex(std::uint32_t index) noexcept { return At(index); }
    const FileItem* FindByIndex(std::uint32_t index) const noexcept { return At(index); }

    // Frees everything; the next file gets index 0.
    void Clear();
};

// Everything an analysis produces. The application owns one; a new analysis
// or a loaded scan log starts from Clear.
struct ItemLists {
    explicit ItemLists(OutOfMemoryHandler onOutOfMemory = {})
        : folders(onOutOfMemory), files(onOutOfMemory), scan(onOutOfMemory), volumes(onOutOfMemory) {}

    FolderStore folders;
    FileStore files;
    ScanLists scan;
    VolumeList volumes;
    std::uint64_t totalSize = 0;  // sum of file sizes, built by the dump

    void Clear();
};

}  // namespace dravik::analysis
