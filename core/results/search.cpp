#include "results/search.h"

#include "base/date_key.h"

#include <algorithm>
#include <limits>

#include "base/size_text.h"
#include "base/worker.h"
#include "platform/code_page.h"
#include "platform/text.h"

namespace dravik::results {

using analysis::kNo;
using analysis::kYes;

// ---- criteria ----

void SearchCriteria::CheckType(bool on) {
    typeChecked = on;
    if (on) deletedMode = DeletedMode::Include;
}

void SearchCriteria::CheckDate(bool on) {
    dateChecked = on;
    if (on) dateKind = TimeKind::Created;
}

void SearchCriteria::CheckSize(bool on) {
    sizeChecked = on;
    if (on) sizeUnit = SizeUnit::Bytes;
}

const char* DateKindText(TimeKind kind) {
    switch (kind) {
        case TimeKind::Created: return "Created Date";
        case TimeKind::Modified: return "Modified Date";
        case TimeKind::Accessed: return "Accessed Date";
    }
    return "";
}

const char* SizeUnitText(SizeUnit unit) {
    switch (unit) {
        case SizeUnit::Bytes: return "Bytes";
        case SizeUnit::KB: return "KB";
        case SizeUnit::MB: return "MB";
        case SizeUnit::GB: return "GB";
    }
    return "";
}

std::uint64_t SizeBound(std::string_view text, SizeUnit unit) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    // Saturate rather than wrap: "5000000000" must not read as 705032704.
    std::uint64_t value = 0;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<std::uint64_t>(kMax, value * 10 + std::uint64_t(text[i] - '0'));
    static constexpr std::uint64_t kFactor[] = {1, 1024, 1048576, 1073741824};
    return value * kFactor[static_cast<int>(unit)];
}

// ---- the name test ----

namespace {
// Wildcards over the whole of `name`: '*' any run, '?' any one character.
// Backtracks to the last '*' only, so it stays linear in practice.
bool Wildcard(std::u16string_view pat, std::u16string_view name) {
    constexpr auto npos = std::u16string_view::npos;
    std::size_t p = 0, c = 0, star = npos, mark = 0;
    while (c < name.size()) {
        if (p < pat.size() && (pat[p] == u'?' || pat[p] == name[c])) {
            ++p;
            ++c;
        } else if (p < pat.size() && pat[p] == u'*') {
            star = p++;
            mark = c;
        } else if (star != npos) {
            p = star + 1;
            c = ++mark;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == u'*') ++p;
    return p == pat.size();
}
}  // namespace

bool MatchName(std::u16string_view pattern, std::u16string_view candidate) {
    constexpr auto npos = std::u16string_view::npos;
    if (pattern.empty() || candidate.empty()) return false;
    const bool star = pattern.find(u'*') != npos;
    if (!star && pattern.size() > candidate.size()) return false;
    if (pattern == u"*") return true;
    if (pattern == u"*.*") return candidate.find(u'.') != npos;
    if (!star && pattern.find(u'?') == npos) return candidate.find(pattern) != npos;

    // Up to the first '*' position by position; a pattern that ends there
    // is a prefix of the name.
    std::size_t p = 0;
    for (; p < pattern.size() && pattern[p] != u'*'; ++p)
        if (p >= candidate.size() || (pattern[p] != u'?' && pattern[p] != candidate[p])) return false;
    if (p == pattern.size()) return true;
    // From the first '*' on, the usual wildcards to the end of the name.
    return Wildcard(pattern.substr(p), candidate.substr(p));
}

// ---- hits ----

const char* HitColumnHeader(int column) {
    static constexpr const char* kHeaders[] = {"File Name",    "Type",          "Path",          "File Size",
                                               "Created Date", "Modified Date", "Last Accessed", "ID"};
    return column >= 0 && column < kHitColumnCount ? kHeaders[column] : "";
}

std::string_view SearchHit::Text(int column) const {
    if (column < 0 || column >= kHitColumnCount) return {};
    const std::uint32_t begin = column == 0 ? 0 : ends_[column - 1];
    return std::string_view(cells_).substr(begin, ends_[column] - begin);
}

void SearchHit::SetTexts(const std::array<std::string_view, kHitColumnCount>& texts) {
    cells_.clear();
    std::size_t total = 0;
    for (auto t : texts) total += t.size();
    cells_.reserve(total);
    for (int i = 0; i < kHitColumnCount; ++i) {
        cells_ += texts[i];
        ends_[i] = static_cast<std::uint32_t>(cells_.size());
    }
}

namespace {

// Everything a pass needs, read once per search.
struct Filter {
    std::u16string pattern;
    bool ntfs = true;
    bool sizeTest = false;
    std::uint64_t sizeFrom = 0, sizeTo = 0;
    DeletedMode deletedMode = DeletedMode::Include;
    bool dateTest = false;
    TimeKind dateKind = TimeKind::Created;
    DayMonthYear from, to;

    Filter(const SearchCriteria& c, bool ntfsVolume)
        : pattern(platform::UpperCase(c.name)),
          ntfs(ntfsVolume),
          deletedMode(c.deletedMode),
          dateTest(c.dateChecked),
          dateKind(c.dateKind),
          from(c.dateFrom),
          to(c.dateTo) {
        if (c.sizeChecked) {
            sizeFrom = SizeBound(c.sizeFrom, c.sizeUnit);
            sizeTo = SizeBound(c.sizeTo, c.sizeUnit);
            sizeTest = sizeTo != 0;
        }
    }

    bool Size(std::uint64_t size) const {
        return !sizeTest || (sizeFrom <= size && size <= sizeTo && sizeFrom < sizeTo);
    }

    bool Deleted(char deleted) const {
        switch (deletedMode) {
            case DeletedMode::Include: return true;
            case DeletedMode::Exclude: return deleted == kNo;
            case DeletedMode::Only: return deleted == kYes;
        }
        return true;
    }

    // Whole calendar dates are compared, both ends included.
    template <class Item>
    bool Date(const Item& item) const {
        if (!dateTest) return true;
        const std::uint64_t time = dateKind == TimeKind::Created    ? item.created
                                   : dateKind == TimeKind::Modified ? item.modified
                                                                    : item.accessed;
        const CalendarDate d = DateOf(time, ntfs);
        if (to.year < from.year || d.year < from.year || d.year > to.year) return false;
        const std::int64_t k = base::DateKey(d.year, d.month, d.day);
        return base::DateKey(from.year, from.month, from.day) <= k && k <= base::DateKey(to.year, to.month, to.day);
    }
};

// The name as the test sees it: shown form, upper case. A wide name is
// shown as it is stored, so it is upper-cased straight from the store.
template <class Item>
std::u16string Candidate(const Item& item) {
    if (item.nameA) return platform::UpperCase(DisplayName16(item));
    return platform::UpperCase(analysis::WideName(item));
}

// List order jumps about the records and their names in memory, and each
// item's test is too busy for the processor to overlap those misses on its
// own: the records are fetched kAhead items ahead and their names half as
// far, once the record is there.
template <class Store>
class Prefetcher {
public:
    explicit Prefetcher(Store& store) : end_(store.end()), record_(store.begin()), name_(store.begin()) {
        for (int i = 0; i < kAhead && record_ != end_; ++i) Next(record_, i >= kAhead / 2);
    }
    void Step() { Next(record_, true); }

private:
    static constexpr int kAhead = 16;
    void Next(typename Store::iterator& it, bool names) {
        if (it != end_) {
            const auto* r = reinterpret_cast<const char*>(&*it);
            __builtin_prefetch(r);
            __builtin_prefetch(r + sizeof(*it) - 1);
            ++it;
        }
        if (names && name_ != end_) {
            __builtin_prefetch(name_->nameA ? static_cast<const void*>(name_->nameA) : name_->nameW);
            ++name_;
        }
    }
    typename Store::iterator end_, record_, name_;
};

template <class Item>
SearchHit MakeHit(Item& item, std::string_view path, std::string_view size, std::uint32_t id, bool ntfs) {
    const std::string name = DisplayName(item), type = TypeText(item), idText = base::Format("%u", id);
    const std::string created = DateText(item.created, ntfs, TimeKind::Created),
                      modified = DateText(item.modified, ntfs, TimeKind::Modified),
                      accessed = DateText(item.accessed, ntfs, TimeKind::Accessed);
    SearchHit hit;
    hit.SetTexts({name, type, path, size, created, modified, accessed, idText});
    hit.checked = item.mark == kYes;
    return hit;
}

}  // namespace

SearchResults RunSearch(ResultsView& view, const SearchCriteria& criteria, base::WorkerControl& control,
                        const HitCallback& onHit) {
    SearchResults results;
    const ResultsTree& tree = view.Tree();
    // Without a tree (a file system the view does not show) no item has a
    // path, so nothing can be a hit.
    if (tree.Root() == kNoNode) return results;
    const Filter filter(criteria, view.Ntfs());
    auto& items = view.Items();

    auto found = [&](SearchHit hit) {
        hit.matchCount = static_cast<int>(results.Size()) + 1;
        results.InsertFront(std::move(hit));
        if (onHit) onHit(results[0]);
    };

    if (!criteria.sizeChecked) {
        Prefetcher ahead(items.folders);
        for (analysis::FolderItem& f : items.folders) {
            ahead.Step();
            if (!control.Checkpoint()) return results;
            if (f.volume != tree.Volume()) continue;
            if (!MatchName(filter.pattern, Candidate(f))) continue;
            if (!filter.Deleted(f.deleted) || !filter.Date(f)) continue;
            const NodeHandle node = f.treeHandle;
            if (!tree.Valid(node) || tree.Node(node).folder != &f) continue;
            const std::string path = platform::Utf16ToUtf8(tree.Path(node));
            if (path.empty()) continue;
            SearchHit hit = MakeHit(f, path, "0", f.treeHandle, filter.ntfs);
            hit.folder = &f;
            found(std::move(hit));
        }
    }

    // Files come grouped by parent: their folder's path is looked up once
    // per group.
    std::uint32_t lastParent = 0;
    bool havePath = false;
    std::string path;
    Prefetcher ahead(items.files);
    for (analysis::FileItem& f : items.files) {
        ahead.Step();
        if (!control.Checkpoint()) return results;
        if (!MatchName(filter.pattern, Candidate(f))) continue;
        if (!filter.Size(f.size) || !filter.Deleted(f.deleted) || !filter.Date(f)) continue;
        if (!havePath || f.parent != lastParent) {
            lastParent = f.parent;
            havePath = true;
            const NodeHandle node = tree.NodeOfFolder(items.folders, f.parent);
            path = node == kNoNode ? std::string() : platform::Utf16ToUtf8(tree.Path(node));
        }
        if (path.empty()) continue;
        SearchHit hit = MakeHit(f, path, base::Format("%llu", static_cast<unsigned long long>(f.size)), f.index,
                                filter.ntfs);
        hit.file = &f;
        found(std::move(hit));
    }
    return results;
}

// ---- acting on hits ----

namespace {

NodeHandle FolderNodeOf(ResultsView& view, const analysis::FileItem& file) {
    return view.Tree().NodeOfFolder(view.Items().folders, file.parent);
}

// A file hit acts as a file row listed in its folder; one whose folder has
// no node only changes its mark.
void ApplyHitCheck(ResultsView& view, SearchHit& hit, bool checked) {
    hit.checked = checked;
    if (hit.folder)
        view.SetFolderChecked(*hit.folder, checked);
    else
        view.SetFileChecked(*hit.file, checked, FolderNodeOf(view, *hit.file));
}

}  // namespace

void SetHitChecked(ResultsView& view, SearchResults& results, std::size_t row, bool checked) {
    if (row >= results.Size()) return;
    ApplyHitCheck(view, results[row], checked);
    view.RefreshRowChecks();
}

bool SetAllHitsChecked(ResultsView& view, SearchResults& results, bool checked, base::WorkerControl& control) {
    bool complete = true;
    for (std::size_t row = 0; row < results.Size(); ++row) {
        if (!control.Checkpoint()) {
            complete = false;
            break;
        }
        SearchHit& hit = results[row];
        if (hit.file && FolderNodeOf(view, *hit.file) == kNoNode) {
            complete = false;
            break;
        }
        ApplyHitCheck(view, hit, checked);
    }
    view.RefreshRowChecks();
    return complete;
}

NodeHandle OpenHit(ResultsView& view, const SearchHit& hit) {
    if (!hit.folder) return kNoNode;
    const NodeHandle node = hit.folder->treeHandle;
    const ResultsTree& tree = view.Tree();
    if (!tree.Valid(node) || tree.Node(node).folder != hit.folder) return kNoNode;
    view.OpenFolder(node);
    return node;
}

}  // namespace dravik::results
