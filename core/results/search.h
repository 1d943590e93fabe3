// The search of the results: items whose names fit a pattern, optionally
// filtered by deleted state, one of their dates and their size, listed with
// their folder path. Hits share the check-box selection of the results view,
// so checking a hit marks it for recovery as checking its row would.
//
// RunSearch runs on a worker; the front end shows each hit as it comes and
// keeps the list RunSearch returns for the check boxes and for opening hits.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "results/item_text.h"
#include "results/results_view.h"

namespace dravik::base {
class WorkerControl;
}

namespace dravik::results {

// ---- what to search for ----

enum class DeletedMode { Include, Exclude, Only };
enum class SizeUnit { Bytes, KB, MB, GB };

struct DayMonthYear {
    int day = 1;
    int month = 1;
    int year = 1970;
};

// The years the date combos offer.
inline constexpr int kFirstSearchYear = 1970;
inline constexpr int kLastSearchYear = 2030;

// The dialog's fields, starting as the dialog shows them.
struct SearchCriteria {
    std::u16string name;  // as typed; upper-cased when the search starts

    // The deleted mode applies even while "Type" is unchecked: the check box
    // only enables the radio buttons.
    bool typeChecked = true;
    DeletedMode deletedMode = DeletedMode::Include;

    bool dateChecked = false;
    TimeKind dateKind = TimeKind::Created;
    DayMonthYear dateFrom{1, 1, kFirstSearchYear};
    DayMonthYear dateTo{31, 12, kLastSearchYear};

    // A size check skips the folders altogether.
    bool sizeChecked = false;
    std::string sizeFrom = "0";  // the edits' texts
    std::string sizeTo = "2";
    SizeUnit sizeUnit = SizeUnit::GB;

    // The check boxes. Checking one enables its controls and resets one of
    // them: the deleted mode to Include, the date kind to created, the unit
    // to bytes. Unchecking only disables them.
    void CheckType(bool on);
    void CheckDate(bool on);
    void CheckSize(bool on);
};

const char* DateKindText(TimeKind kind);  // "Created Date", ...
const char* SizeUnitText(SizeUnit unit);  // "Bytes", "KB", "MB", "GB"

// A size edit as a byte count: its leading decimal digits (0 when there are
// none) times the unit. Values past 32 bits read as 4294967295.
std::uint64_t SizeBound(std::string_view text, SizeUnit unit);

// The name test, on upper-cased names. A pattern without wildcards is looked
// for anywhere in the name; one with '?' but no '*' must fit the name's
// start; "*" takes every name and "*.*" every name with a dot. Otherwise the
// part before the first '*' must fit the name's start ('?' any one
// character), and from there on the pattern matches the rest of the name as
// wildcards do ('*' any run, '?' any one character).
bool MatchName(std::u16string_view pattern, std::u16string_view candidate);

// ---- the hits ----

enum HitColumn : int { kHitName = 0, kHitType, kHitPath, kHitSize, kHitCreated, kHitModified, kHitAccessed, kHitId,
                       kHitColumnCount };

// Column headers of the search results.
const char* HitColumnHeader(int column);

class SearchHit {
public:
    analysis::FolderItem* folder = nullptr;  // a folder hit
    analysis::FileItem* file = nullptr;      // a file hit
    bool checked = false;                    // the row's check box, from the item's mark at first
    int matchCount = 0;                      // the count of hits once this one was found

    bool IsFolder() const { return folder != nullptr; }
    // UTF-8 texts of the columns; the dates as the results list shows them.
    std::string_view Text(int column) const;
    // The folder's own path, or that of a file's folder: "Docs\Letters".
    std::string_view Path() const { return Text(kHitPath); }

    void SetTexts(const std::array<std::string_view, kHitColumnCount>& texts);

private:
    // One buffer for all eight: a search for "*" keeps a hit per item.
    std::string cells_;
    std::array<std::uint32_t, kHitColumnCount> ends_{};
};

// The results list: row 0 is the newest hit.
class SearchResults {
public:
    std::size_t Size() const { return hits_.size(); }
    bool Empty() const { return hits_.empty(); }
    SearchHit& operator[](std::size_t row) { return hits_[hits_.size() - 1 - row]; }
    const SearchHit& operator[](std::size_t row) const { return hits_[hits_.size() - 1 - row]; }
    // Becomes row 0.
    void InsertFront(SearchHit hit) { hits_.push_back(std::move(hit)); }
    void Clear() { hits_.clear(); }

private:
    std::vector<SearchHit> hits_;  // oldest first
};

// Called on the worker's thread after each hit; the hit is row 0 by then.
using HitCallback = std::function<void(const SearchHit&)>;

// One pass over the folders of the current volume (not when the size is
// checked), then one over the files, each in list order. An item must have a
// path to be a hit: files lying directly in the root folder, or in a folder
// the tree does not hold, never are. Ends early, keeping what it found, when
// `control` says so between two items.
SearchResults RunSearch(ResultsView& view, const SearchCriteria& criteria, base::WorkerControl& control,
                        const HitCallback& onHit = {});

// ---- acting on hits ----

// A row's check box changed: a folder hit acts as a folder row of the results
// list (subtree, files, ancestors); a file hit as a file row listed in its
// folder. The results list's check boxes follow the marks.
void SetHitChecked(ResultsView& view, SearchResults& results, std::size_t row, bool checked);

// "Select/Unselect All": every row in order takes `checked` and acts as
// above. Stops at the first file hit whose folder has no node in the tree,
// and when `control` says so; false when it stopped early.
bool SetAllHitsChecked(ResultsView& view, SearchResults& results, bool checked, base::WorkerControl& control);

// A double-click on a hit. A folder hit is opened in the results view (its
// node and the node's parent expanded, its contents listed) and its node
// returned; the dialog then closes. A file hit returns kNoNode: the front
// end previews the file.
NodeHandle OpenHit(ResultsView& view, const SearchHit& hit);

}  // namespace dravik::results
