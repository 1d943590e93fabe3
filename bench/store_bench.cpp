// Fills the folder and file stores the way a large analysis does and prints
// insert speed and memory per stored item, next to a naive multimap holding
// the same items. The last line is the summary that scripts read.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "analysis/item_store.h"

namespace {

using dravik::analysis::FileStore;
using dravik::analysis::FolderStore;
using dravik::analysis::ItemName;
using dravik::analysis::kNtfsRoot;

constexpr std::uint32_t kFolders = 200'000;
constexpr std::uint32_t kFiles = 1'000'000;
constexpr std::uint32_t kReplacing = 5'000;  // in-use duplicates of deleted folders
constexpr std::uint32_t kDropped = 5'000;    // duplicates that the store refuses

// One insert, with its name kept in a shared pool so that the input itself
// costs little next to what is measured.
struct Op {
    bool folder;
    bool deleted;
    bool narrow;
    std::uint8_t nameLength;
    std::uint32_t nameOffset;
    std::uint32_t parent;
    std::uint32_t number;
};

struct Input {
    std::vector<Op> ops;
    std::u16string wide;
    std::string narrow;

    ItemName NameOf(const Op& op) const {
        if (op.narrow) return ItemName::Narrow(std::string_view(narrow).substr(op.nameOffset, op.nameLength));
        return ItemName::Wide(std::u16string_view(wide).substr(op.nameOffset, op.nameLength));
    }
};

Input MakeInput(bool folders, bool files) {
    std::mt19937 rng(20240601);
    auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    };
    Input in;
    auto name = [&](Op& op) {
        op.nameLength = static_cast<std::uint8_t>(pick(8, 40));
        op.narrow = pick(0, 9) == 0;  // short FAT-style names are the minority
        if (op.narrow) {
            op.nameOffset = static_cast<std::uint32_t>(in.narrow.size());
            for (int i = 0; i < op.nameLength; ++i) in.narrow.push_back(static_cast<char>('a' + pick(0, 25)));
        } else {
            op.nameOffset = static_cast<std::uint32_t>(in.wide.size());
            for (int i = 0; i < op.nameLength; ++i) in.wide.push_back(static_cast<char16_t>(u'a' + pick(0, 25)));
        }
    };
    // Folder numbers are record numbers from 16 up; parents are folders seen
    // so far, like a walk that meets parents before most of their children.
    std::vector<Op> folderOps;
    std::vector<std::uint32_t> deletedNumbers, liveNumbers;
    if (folders) {
        for (std::uint32_t i = 0; i < kFolders; ++i) {
            Op op{};
            op.folder = true;
            op.number = pick(0, 99) == 0 ? 0 : 16 + i;  // a few scan finds without a number
            op.parent = i == 0 ? kNtfsRoot : 16 + pick(0, i - 1);
            op.deleted = pick(0, 9) == 0;
            name(op);
            if (op.number != 0 && i < kFolders / 2) (op.deleted ? deletedNumbers : liveNumbers).push_back(op.number);
            folderOps.push_back(op);
        }
        // Duplicates land in the second half, after their holders.
        auto duplicate = [&](const std::vector<std::uint32_t>& from, bool deleted) {
            Op op{};
            op.folder = true;
            op.number = from[pick(0, static_cast<std::uint32_t>(from.size() - 1))];
            op.parent = 16 + pick(0, kFolders - 1);
            op.deleted = deleted;
            name(op);
            folderOps.insert(folderOps.begin() + pick(kFolders / 2, static_cast<std::uint32_t>(folderOps.size())), op);
        };
        for (std::uint32_t i = 0; i < kReplacing; ++i) duplicate(deletedNumbers, false);
        for (std::uint32_t i = 0; i < kDropped; ++i) duplicate(liveNumbers, pick(0, 1) == 1);
    }
    // Files interleave with folders, as in a record walk.
    std::size_t nextFolder = 0;
    const std::uint32_t files_ = files ? kFiles : 0;
    for (std::uint32_t i = 0; i < files_ || nextFolder < folderOps.size(); ++i) {
        while (nextFolder < folderOps.size() &&
               (i >= files_ || nextFolder * std::uint64_t{files_} <= std::uint64_t{i} * folderOps.size()))
            in.ops.push_back(folderOps[nextFolder++]);
        if (i >= files_) continue;
        Op op{};
        op.parent = 16 + pick(0, kFolders - 1);
        op.deleted = pick(0, 9) == 0;
        name(op);
        in.ops.push_back(op);
    }
    return in;
}

// Small blocks come from the heap arena, large ones (record chunks) are
// mapped on their own; both count.
std::size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Figures {
    double seconds = 0;
    std::size_t bytes = 0;
    std::size_t items = 0;
    double BytesPerItem() const { return items ? double(bytes) / double(items) : 0; }
    double InsertsPerSecond(std::size_t inserts) const { return seconds > 0 ? double(inserts) / seconds : 0; }
};

Figures RunStores(const Input& in, FolderStore& folders, FileStore& files) {
    malloc_trim(0);  // every run starts from a heap with nothing cached to spare
    const std::size_t heap = HeapInUse();
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t t = 0x01D0'0000'0000'0000ULL;
    for (const Op& op : in.ops) {
        ++t;
        if (op.folder)
            folders.AddFolderItem(in.NameOf(op), op.deleted, op.parent, op.number, 0, t, t, t, 1);
        else
            files.AddFileItem(in.NameOf(op), op.deleted, t & 0xFFFFF, op.parent, 0, 0, t, t, t);
    }
    Figures f;
    f.seconds = Seconds(start);
    f.bytes = HeapInUse() - heap;
    f.items = folders.Count() + files.Count();
    return f;
}

// The naive way: a heap node per item and a heap string per name.
struct BaselineItem {
    std::u16string name;
    bool deleted;
    std::uint64_t modified, created, accessed, size, sector;
    std::uint32_t number;
};

Figures RunBaseline(const Input& in, std::multimap<std::uint32_t, BaselineItem>& folders,
                    std::multimap<std::uint32_t, BaselineItem>& files) {
    malloc_trim(0);  // every run starts from a heap with nothing cached to spare
    const std::size_t heap = HeapInUse();
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t t = 0;
    for (const Op& op : in.ops) {
        ++t;
        ItemName n = in.NameOf(op);
        std::u16string name = op.narrow ? std::u16string(n.narrow.begin(), n.narrow.end()) : std::u16string(n.wide);
        auto& list = op.folder ? folders : files;
        list.emplace(op.parent, BaselineItem{std::move(name), op.deleted, t, t, t, t, 0, op.number});
    }
    Figures f;
    f.seconds = Seconds(start);
    f.bytes = HeapInUse() - heap;
    f.items = folders.size() + files.size();
    return f;
}

}  // namespace

int main() {
    // Each kind alone, for the per-record picture.
    for (const bool folderKind : {true, false}) {
        const Input in = MakeInput(folderKind, !folderKind);
        FolderStore folders;
        FileStore files;
        const Figures f = RunStores(in, folders, files);
        std::printf("%-8s only: %zu inserts, %zu stored, %.3f s, %.1f bytes/item\n", folderKind ? "folders" : "files",
                    in.ops.size(), f.items, f.seconds, f.BytesPerItem());
    }

    const Input in = MakeInput(true, true);
    Figures base;
    {
        std::multimap<std::uint32_t, BaselineItem> folders, files;
        base = RunBaseline(in, folders, files);
    }
    FolderStore folders;
    FileStore files;
    const Figures store = RunStores(in, folders, files);

    // Reading back: the whole lists in order, and a child lookup per folder.
    auto start = std::chrono::steady_clock::now();
    std::uint64_t sum = 0;
    for (const auto& f : folders) sum += f.parent;
    for (const auto& f : files) sum += f.parent;
    const double iterate = Seconds(start);
    start = std::chrono::steady_clock::now();
    for (const auto& f : folders) sum += files.Children(f.number).size();
    const double children = Seconds(start);

    const std::size_t inserts = in.ops.size();
    std::printf("baseline multimap: %.3f s, %.0f inserts/s, %.1f bytes/item\n", base.seconds,
                base.InsertsPerSecond(inserts), base.BytesPerItem());
    std::printf("stores: %zu inserts (%u folders, %u files stored), %.3f s, %.1f bytes/item\n", inserts,
                folders.Count(), files.Count(), store.seconds, store.BytesPerItem());
    std::printf("stores vs baseline: speed x%.2f, memory x%.2f\n", base.seconds / store.seconds,
                store.BytesPerItem() / base.BytesPerItem());
    std::printf("read back: whole lists %.3f s, file children of every folder %.3f s (checksum %llu)\n", iterate,
                children, static_cast<unsigned long long>(sum));
    std::printf("store: inserts_per_s=%.0f bytes_per_item=%.0f\n", store.InsertsPerSecond(inserts),
                store.BytesPerItem());
    return 0;
}
