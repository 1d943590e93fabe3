#include "results/results_view.h"

#include <algorithm>

#include "results/results_context.h"
#include "base/size_text.h"
#include "platform/code_page.h"
#include "results/item_text.h"

namespace dravik::results {

using analysis::kYes;

const char* ColumnHeader(int column) {
    static constexpr const char* kHeaders[] = {"Name",          "Type",          "Size", "Modified Date",
                                               "Created Date", "Accessed Date", "ID"};
    return column >= 0 && column < kColumnCount ? kHeaders[column] : "";
}

namespace {
template <class F>
decltype(auto) Visit(const Row& r, F f) {
    return r.folder ? f(*r.folder) : f(*r.file);
}
}  // namespace

ResultsView::ResultsView(const ResultsContext& ctx) : ctx_(ctx) {}

analysis::ItemLists& ResultsView::Items() { return ctx_.items; }

void ResultsView::Open(const std::function<void(int)>& progress) {
    const auto& fs = ctx_.analysis.geometry.fileSystem;
    ntfs_ = fs == "NTFS";
    const bool known = ntfs_ || fs == "FAT12" || fs == "FAT16" || fs == "FAT32";
    rows_.clear();
    listedNode_ = kNoNode;
    if (!known) {
        tree_.Clear();
        return;
    }
    const std::uint32_t root = ntfs_ ? analysis::kNtfsRoot : analysis::kFatRoot;
    tree_.Build(ctx_.items.folders, root, static_cast<std::uint16_t>(ctx_.analysis.currentVolume), progress);
    listedNode_ = tree_.Root();
    ShowFolder(root);
}

void ResultsView::ShowFolder(std::uint32_t number) {
    auto& items = ctx_.items;
    if (items.folders.Count() == 0 && items.files.Count() == 0) return;
    listedFolder_ = number;
    rows_.clear();
    for (auto& f : items.folders.Children(number))
        if (f.volume == tree_.Volume()) rows_.push_back({&f, nullptr, f.mark == kYes});
    SortRows(0, rows_.size(), kName, sortDescending_);
    for (auto& f : items.files.Children(number)) rows_.push_back({nullptr, &f, f.mark == kYes});
    if (listener_) listener_->RowsReset();
}

void ResultsView::SortRows(std::size_t first, std::size_t end, int column, bool descending) {
    const auto begin = rows_.begin() + static_cast<std::ptrdiff_t>(first);
    const auto stop = rows_.begin() + static_cast<std::ptrdiff_t>(end);
    if (column != kName) {
        std::stable_sort(begin, stop, [&](const Row& a, const Row& b) {
            return descending ? CompareRows(b, a, column) < 0 : CompareRows(a, b, column) < 0;
        });
        return;
    }
    // Folded once per row, the names compare as plain strings; their first
    // four characters, packed, settle most comparisons in one step.
    struct Keyed {
        std::uint64_t head;
        std::u16string key;
    };
    const std::size_t n = end - first;
    std::vector<Keyed> keyed(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto& k = keyed[i];
        k.key = Visit(rows_[first + i], [](const auto& item) { return DisplayName16(item); });
        platform::FoldInPlace(k.key);
        k.head = 0;
        for (std::size_t c = 0; c < 4; ++c) k.head = (k.head << 16) | (c < k.key.size() ? k.key[c] : 0);
    }
    // Sorting positions moves four bytes per step instead of a key and a row.
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
    auto less = [&](std::uint32_t x, std::uint32_t y) {
        const Keyed& a = keyed[x];
        const Keyed& b = keyed[y];
        if (a.head != b.head) return a.head < b.head;
        return a.key < b.key;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t x, std::uint32_t y) { return descending ? less(y, x) : less(x, y); });
    std::vector<Row> sorted;
    sorted.reserve(n);
    for (std::uint32_t i : order) sorted.push_back(rows_[first + i]);
    std::copy(sorted.begin(), sorted.end(), begin);
}

std::string ResultsView::CellText(const Row& row, int column) const {
    switch (column) {
        case kName:
            return Visit(row, [](const auto& i) { return DisplayName(i); });
        case kType:
            return Visit(row, [](const auto& i) { return TypeText(i); });
        case kSize:
            return row.folder ? "0" : base::Format("%llu", static_cast<unsigned long long>(row.file->size));
        case kModified:
            return Visit(row, [&](const auto& i) { return DateText(i.modified, ntfs_, TimeKind::Modified); });
        case kCreated:
            return Visit(row, [&](const auto& i) { return DateText(i.created, ntfs_, TimeKind::Created); });
        case kAccessed:
            return Visit(row, [&](const auto& i) { return DateText(i.accessed, ntfs_, TimeKind::Accessed); });
        case kId:
            return base::Format("%u", row.folder ? row.folder->treeHandle : row.file->index);
        default:
            return {};
    }
}

int ResultsView::CompareRows(const Row& a, const Row& b, int column) const {
    auto cmp = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
    switch (column) {
        case kName:
            return platform::CompareNoCase(Visit(a, [](const auto& i) { return DisplayName16(i); }),
                                           Visit(b, [](const auto& i) { return DisplayName16(i); }));
        case kType: {
            // In-use folders, in-use files, deleted folders, deleted files.
            auto key = [](const Row& r) {
                const bool deleted = Visit(r, [](const auto& i) { return i.deleted == kYes; });
                return deleted ? (r.folder ? 'g' : 'h') : (r.folder ? 'd' : 'e');
            };
            return cmp(key(a), key(b));
        }
        case kSize:
            return cmp(a.folder ? 0 : a.file->size, b.folder ? 0 : b.file->size);
        case kModified:
        case kCreated:
        case kAccessed: {
            auto time = [&](const Row& r) -> std::uint64_t {
                const std::uint64_t t = Visit(r, [&](const auto& i) {
                    return column == kModified ? i.modified : column == kCreated ? i.created : i.accessed;
                });
                // FAT keeps its date word and the two bytes after it in the low half.
                return ntfs_ ? t : static_cast<std::uint32_t>(t);
            };
            return cmp(time(a), time(b));
        }
        case kId:
            return cmp(a.folder ? a.folder->treeHandle : a.file->index, b.folder ? b.folder->treeHandle : b.file->index);
        default:
            return 0;
    }
}

void ResultsView::SortBy(int column) {
    sortDescending_ = !sortDescending_;
    sortColumn_ = column;
    SortRows(0, rows_.size(), column, sortDescending_);
    if (listener_) listener_->RowsReset();
}

void ResultsView::ListNode(NodeHandle node) {
    listedNode_ = node;
    ShowFolder(tree_.FolderNumber(node));
}

void ResultsView::ClickNode(NodeHandle node) {
    if (!tree_.Valid(node)) return;
    tree_.Node(node).expanded = !tree_.Node(node).expanded;
    if (node != listedNode_) ListNode(node);
}

bool ResultsView::OpenRow(std::size_t index) {
    if (index >= rows_.size() || !rows_[index].folder) return false;
    OpenFolder(rows_[index].folder->treeHandle);
    return true;
}

void ResultsView::OpenFolder(NodeHandle node) {
    if (!tree_.Valid(node)) return;
    tree_.Node(node).expanded = true;
    if (tree_.Valid(tree_.Node(node).parent)) tree_.Node(tree_.Node(node).parent).expanded = true;
    ListNode(node);
}

void ResultsView::Up() {
    if (!tree_.Valid(listedNode_) || listedNode_ == tree_.Root()) return;
    ListNode(tree_.Node(listedNode_).parent);
}

}  // namespace dravik::results
