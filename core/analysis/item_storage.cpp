#include "analysis/item_storage.h"

#include <limits>
#include <new>

#include "analysis/item_records.h"

namespace dravik::analysis::detail {

// ---- NameArena ------------------------------------------------------------

void* NameArena::Allocate(std::size_t bytes, std::size_t align) {
    std::size_t pad = next_ ? (align - reinterpret_cast<std::uintptr_t>(next_) % align) % align : 0;
    if (!next_ || left_ < pad + bytes) {
        // A long name gets a chunk of its own, so that the current chunk's
        // free tail is not thrown away for it.
        const bool own = bytes > kChunkBytes / 4;
        const std::size_t size = own ? bytes : kChunkBytes;
        chunks_.reserve(chunks_.size() + 1);
        std::byte* chunk = chunks_.emplace_back(std::make_unique_for_overwrite<std::byte[]>(size)).get();
        if (own) return chunk;
        next_ = chunk;
        left_ = kChunkBytes;
        pad = 0;  // operator new[] aligns for any character type
    }
    std::byte* p = next_ + pad;
    next_ = p + bytes;
    left_ -= pad + bytes;
    return p;
}

const char* NameArena::Copy(std::string_view name) {
    auto* out = static_cast<char*>(Allocate(name.size() + 1, alignof(char)));
    std::uninitialized_copy_n(name.data(), name.size(), out);
    ::new (out + name.size()) char(0);
    return out;
}

const char16_t* NameArena::Copy(std::u16string_view name) {
    auto* out = static_cast<char16_t*>(Allocate((name.size() + 1) * sizeof(char16_t), alignof(char16_t)));
    std::uninitialized_copy_n(name.data(), name.size(), out);
    ::new (out + name.size()) char16_t(0);
    return out;
}

void NameArena::Clear() {
    ReleaseMemory(chunks_);
    next_ = nullptr;
    left_ = 0;
}

// ---- RecordChunks ---------------------------------------------------------

template <class Record>
ItemId RecordChunks<Record>::Append() {
    if (size_ % kPerChunk == 0) {
        chunks_.reserve(chunks_.size() + 1);
        byAddress_.reserve(byAddress_.size() + 1);
        Record* chunk = chunks_.emplace_back(std::make_unique<Record[]>(kPerChunk)).get();
        const Chunk entry{reinterpret_cast<std::uintptr_t>(chunk), size_};
        byAddress_.insert(std::upper_bound(byAddress_.begin(), byAddress_.end(), entry,
                                           [](const Chunk& a, const Chunk& b) { return a.address < b.address; }),
                          entry);
    }
    return size_++;
}

template <class Record>
std::optional<ItemId> RecordChunks<Record>::IdOf(const Record* record) const noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(record);
    auto it = std::upper_bound(byAddress_.begin(), byAddress_.end(), address,
                               [](std::uintptr_t a, const Chunk& c) { return a < c.address; });
    if (it == byAddress_.begin()) return std::nullopt;
    --it;
    const std::uintptr_t offset = address - it->address;
    if (offset % sizeof(Record) != 0 || offset / sizeof(Record) >= kPerChunk) return std::nullopt;
    const std::uint64_t id = it->firstId + offset / sizeof(Record);
    if (id >= size_) return std::nullopt;
    return static_cast<ItemId>(id);
}

template <class Record>
void RecordChunks<Record>::Clear() {
    ReleaseMemory(chunks_);
    ReleaseMemory(byAddress_);
    size_ = 0;
}

template class RecordChunks<FolderItem>;
template class RecordChunks<FileItem>;

// ---- IdRun / ParentRuns ---------------------------------------------------

void IdRun::Grow() {
    if (capacity_ > std::numeric_limits<std::uint32_t>::max() / 2) throw std::bad_alloc();
    const std::uint32_t capacity = capacity_ * 2;
    auto grown = std::make_unique_for_overwrite<ItemId[]>(capacity);
    std::copy_n(Data(), size_, grown.get());
    Free();
    heap_ = grown.release();
    capacity_ = capacity;
}

ParentRuns::Position ParentRuns::Locate(std::uint32_t parent, bool& found) const {
    found = false;
    if (blocks_.empty()) return {};
    // The last block whose first parent is not above `parent`, or block 0.
    const auto upper = std::upper_bound(firsts_.begin(), firsts_.end(), parent);
    const std::size_t block = upper == firsts_.begin() ? 0 : static_cast<std::size_t>(upper - firsts_.begin()) - 1;
    const std::vector<std::uint32_t>& parents = blocks_[block].parents;
    const auto at = std::lower_bound(parents.begin(), parents.end(), parent);
    found = at != parents.end() && *at == parent;
    return {block, static_cast<std::size_t>(at - parents.begin())};
}

void ParentRuns::Append(std::uint32_t parent, ItemId id) {
    if (cached_ && cachedParent_ == parent) {
        blocks_[cachedAt_.block].runs[cachedAt_.entry].PushBack(id);
        return;
    }
    bool found = false;
    Position at = Locate(parent, found);
    if (found) {
        blocks_[at.block].runs[at.entry].PushBack(id);
    } else {
        IdRun run;
        run.PushBack(id);
        if (blocks_.empty()) {
            blocks_.emplace_back();
            firsts_.push_back(parent);
        }
        Block& block = blocks_[at.block];
        block.parents.insert(block.parents.begin() + static_cast<std::ptrdiff_t>(at.entry), parent);
        block.runs.insert(block.runs.begin() + static_cast<std::ptrdiff_t>(at.entry), std::move(run));
        firsts_[at.block] = block.parents.front();
        if (block.parents.size() > kBlockSize) {
            // Split in halves; the upper half becomes the next block.
            const std::size_t half = block.parents.size() / 2;
            Block upper;
            upper.parents.assign(block.parents.begin() + static_cast<std::ptrdiff_t>(half), block.parents.end());
            upper.runs.assign(std::make_move_iterator(block.runs.begin() + static_cast<std::ptrdiff_t>(half)),
                              std::make_move_iterator(block.runs.end()));
            block.parents.resize(half);
            block.runs.resize(half);
            firsts_.insert(firsts_.begin() + static_cast<std::ptrdiff_t>(at.block) + 1, upper.parents.front());
            blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(at.block) + 1, std::move(upper));
            if (at.entry >= half) {
                ++at.block;
                at.entry -= half;
            }
        }
    }
    cached_ = true;
    cachedParent_ = parent;
    cachedAt_ = at;
}

void ParentRuns::Remove(std::uint32_t parent, std::span<const ItemId> sortedIds) {
    bool found = false;
    const Position at = Locate(parent, found);
    if (!found) return;
    Block& block = blocks_[at.block];
    IdRun& run = block.runs[at.entry];
    run.EraseIf([&](ItemId id) { return std::binary_search(sortedIds.begin(), sortedIds.end(), id); });
    if (!run.Empty()) return;
    cached_ = false;
    block.parents.erase(block.parents.begin() + static_cast<std::ptrdiff_t>(at.entry));
    block.runs.erase(block.runs.begin() + static_cast<std::ptrdiff_t>(at.entry));
    if (block.parents.empty()) {
        blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(at.block));
        firsts_.erase(firsts_.begin() + static_cast<std::ptrdiff_t>(at.block));
    } else {
        firsts_[at.block] = block.parents.front();
    }
}

std::span<const ItemId> ParentRuns::Run(std::uint32_t parent) const {
    bool found = false;
    const Position at = Locate(parent, found);
    return found ? RunAt(at) : std::span<const ItemId>();
}

void ParentRuns::Clear() {
    ReleaseMemory(blocks_);
    ReleaseMemory(firsts_);
    cached_ = false;
}

}  // namespace dravik::analysis::detail
