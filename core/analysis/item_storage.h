// Building blocks of the item stores: a name arena, chunked record storage
// that never moves a record, and per-parent runs of record ids kept in
// parent order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace dravik::analysis {

// Empties a container and gives its memory back (clear() and `= {}` keep the
// capacity).
template <class Container>
void ReleaseMemory(Container& c) {
    Container().swap(c);
}

// Position of a record in its store's storage (insertion order; a file's id
// is its `index`). Stable until Clear.
using ItemId = std::uint32_t;

namespace detail {

// Name characters, packed into chunks that are never moved or freed before
// Clear, so records can point into them.
class NameArena {
public:
    NameArena() = default;
    NameArena(const NameArena&) = delete;
    NameArena& operator=(const NameArena&) = delete;

    // NUL-terminated copies.
    const char* Copy(std::string_view name);
    const char16_t* Copy(std::u16string_view name);
    void Clear();

private:
    static constexpr std::size_t kChunkBytes = 64 * 1024;

    void* Allocate(std::size_t bytes, std::size_t align);

    std::vector<std::unique_ptr<std::byte[]>> chunks_;
    std::byte* next_ = nullptr;
    std::size_t left_ = 0;
};

// Records in chunks of kPerChunk: appending never moves a record.
template <class Record>
class RecordChunks {
public:
    static constexpr unsigned kShift = 12;
    static constexpr ItemId kPerChunk = ItemId{1} << kShift;

    RecordChunks() = default;
    RecordChunks(const RecordChunks&) = delete;
    RecordChunks& operator=(const RecordChunks&) = delete;

    // `id` must be below Size().
    Record* At(ItemId id) const noexcept { return &chunks_[id >> kShift][id & (kPerChunk - 1)]; }
    ItemId Size() const noexcept { return size_; }
    // Appends a default record and returns its id.
    ItemId Append();
    // The id of a record of this storage, or nullopt for any other pointer.
    std::optional<ItemId> IdOf(const Record* record) const noexcept;
    void Clear();

private:
    struct Chunk {
        std::uintptr_t address;
        ItemId firstId;
    };

    std::vector<std::unique_ptr<Record[]>> chunks_;
    std::vector<Chunk> byAddress_;  // sorted by address
    ItemId size_ = 0;
};

// The ids of one parent's items in list order. Two fit inline, which is all
// that most folders need.
class IdRun {
public:
    IdRun() noexcept : inline_{} {}
    IdRun(IdRun&& other) noexcept { Take(other); }
    IdRun& operator=(IdRun&& other) noexcept {
        if (this != &other) {
            Free();
            Take(other);
        }
        return *this;
    }
    IdRun(const IdRun&) = delete;
    IdRun& operator=(const IdRun&) = delete;
    ~IdRun() { Free(); }

    std::span<const ItemId> Ids() const noexcept { return {Data(), size_}; }
    bool Empty() const noexcept { return size_ == 0; }
    void PushBack(ItemId id) {
        if (size_ == capacity_) Grow();
        Data()[size_++] = id;
    }
    template <class Pred>
    void EraseIf(Pred pred) {
        ItemId* data = Data();
        size_ = static_cast<std::uint32_t>(std::remove_if(data, data + size_, pred) - data);
    }

private:
    static constexpr std::uint32_t kInline = 2;

    bool OnHeap() const noexcept { return capacity_ > kInline; }
    ItemId* Data() noexcept { return OnHeap() ? heap_ : inline_; }
    const ItemId* Data() const noexcept { return OnHeap() ? heap_ : inline_; }
    void Grow();
    void Free() noexcept {
        if (OnHeap()) delete[] heap_;
    }
    void Take(IdRun& other) noexcept {
        size_ = other.size_;
        capacity_ = other.capacity_;
        if (other.OnHeap())
            heap_ = other.heap_;
        else
            std::copy_n(other.inline_, kInline, inline_);
        other.size_ = 0;
        other.capacity_ = kInline;
    }

    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = kInline;
    union {
        ItemId inline_[kInline];
        ItemId* heap_;
    };
};

// Per parent number, the ids of its items in list order. Parents are kept
// sorted in blocks of at most kBlockSize, so a new parent shifts at most one
// block, and a lookup is two binary searches over packed numbers. This costs
// a few tens of bytes per parent, against about a hundred for a tree map of
// vectors.
class ParentRuns {
public:
    // A run's place, for walking all runs in parent order.
    struct Position {
        std::size_t block = 0;
        std::size_t entry = 0;
        friend bool operator==(const Position&, const Position&) = default;
    };

    ParentRuns() = default;
    ParentRuns(const ParentRuns&) = delete;
    ParentRuns& operator=(const ParentRuns&) = delete;

    void Append(std::uint32_t parent, ItemId id);
    // Removes `sortedIds` (ascending) from the parent's run in one pass; a run
    // left empty is dropped so that a walk never meets one.
    void Remove(std::uint32_t parent, std::span<const ItemId> sortedIds);
    std::span<const ItemId> Run(std::uint32_t parent) const;

    Position First() const noexcept { return {}; }
    Position End() const noexcept { return {blocks_.size(), 0}; }
    Position Next(Position at) const noexcept {
        if (++at.entry == blocks_[at.block].parents.size()) {
            ++at.block;
            at.entry = 0;
        }
        return at;
    }
    std::span<const ItemId> RunAt(Position at) const noexcept { return blocks_[at.block].runs[at.entry].Ids(); }

    void Clear();

private:
    static constexpr std::size_t kBlockSize = 256;

    struct Block {
        std::vector<std::uint32_t> parents;  // ascending
        std::vector<IdRun> runs;             // runs[i] belongs to parents[i]
    };

    // Where `parent` is, or where it would be inserted (found = false).
    Position Locate(std::uint32_t parent, bool& found) const;

    std::vector<Block> blocks_;          // none empty
    std::vector<std::uint32_t> firsts_;  // blocks_[i].parents.front()
    // Scans store many items of one folder in a row; this saves the lookup
    // for them. Reset whenever runs are added or dropped.
    bool cached_ = false;
    std::uint32_t cachedParent_ = 0;
    Position cachedAt_;
};

}  // namespace detail
}  // namespace dravik::analysis
