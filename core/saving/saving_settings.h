// The saving filters — deleted state, extensions and date ranges — that
// decide which of the selected files the size walk counts and the copy engine
// writes, and the model of the dialog that edits them.
//
// The settings live for the run of the process and are not stored on disk.
// They are not synchronised: edit them only while no size walk or save run
// reads them (the dialog is modal over both).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/item_records.h"
#include "base/date_key.h"
#include "base/prompter.h"
#include "results/item_text.h"

namespace dravik::saving {

// Messages of the extension list, shown through the prompter.
namespace msg {
inline constexpr const char* kCannotAddMoreExtensions = "Cannot add more extensions.";
inline constexpr const char* kExtensionTooLong = "Extension should not exceed more than 4 characters.";
inline constexpr const char* kExtensionBlank = "Extension should not contain blank space.";
inline constexpr const char* kExtensionDot =
    "Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc..";
inline constexpr const char* kExtensionStar =
    "Do not include \"*\" in extension. Enter extensions like this : tmp,html,bak etc..";
inline constexpr const char* kExtensionExists = "This extension already exist. Enter different extension.";
}  // namespace msg

// Captions of the dialog, for the front ends that draw it.
namespace caption {
inline constexpr const char* kDeletedGroup = "Deleted Data";
inline constexpr const char* kIncludeDeleted = "Include Deleted Data Files";
inline constexpr const char* kExcludeDeleted = "Exclude  Deleted Data Files";  // two spaces, as shown
inline constexpr const char* kDeletedOnly = "Recover Deleted Data Files Only";
inline constexpr const char* kExtensionGroup = "Add Extensions (Ex. XLS etc...)";
inline constexpr const char* kAdd = "&>>";
inline constexpr const char* kRemove = "<<";
inline constexpr const char* kDateGroup = "Date Range Selection";
inline constexpr const char* kModifiedDate = "Modified Date";
inline constexpr const char* kCreatedDate = "Created Date";
inline constexpr const char* kAccessedDate = "Accessed Date";
inline constexpr const char* kDay = "Day";
inline constexpr const char* kMonth = "Month";
inline constexpr const char* kYear = "Year";
inline constexpr const char* kBetween = "Between ";
inline constexpr const char* kApply = "&Apply";
inline constexpr const char* kCancel = "Cancel";
}  // namespace caption

enum class DeletedMode : int { Include = 0, Exclude = 1, Only = 2 };

// Extensions are UTF-16, as names are compared in UTF-16; lengths count
// UTF-16 code units.
inline constexpr std::size_t kMaxExtensions = 100;
inline constexpr std::size_t kMaxExtensionLength = 4;
inline constexpr std::size_t kEditFieldLength = 40;  // what the edit field reads
inline constexpr std::size_t kExtensionCut = 7;      // a name's extension is cut to this before comparing

using base::DateKey;

struct CalendarDay {
    int day = 0;
    int month = 0;
    int year = 0;
    friend bool operator==(const CalendarDay&, const CalendarDay&) = default;
};

// Both days are included. All zeros: the range is off and lets every date
// through. A range whose first day lies after its last lets nothing through.
struct DateRange {
    CalendarDay first;
    CalendarDay last;

    bool IsOff() const noexcept { return first == CalendarDay{} && last == CalendarDay{}; }
    bool Contains(const results::CalendarDate& d) const noexcept;
    friend bool operator==(const DateRange&, const DateRange&) = default;
};

// The six date lists of the dialog: day "01".."31", month "01".."12" and year
// "1970".."2030" of the first and of the last day. Selections are indexes.
enum class DateList : int { FirstDay, FirstMonth, FirstYear, LastDay, LastMonth, LastYear };
inline constexpr int kFirstListYear = 1970;
using DateSelections = std::array<int, 6>;  // indexed by DateList
// 01.01.1970 to 31.12.2030: the same as no range.
inline constexpr DateSelections kWidestSelections{0, 0, 0, 30, 11, 60};

int DateListCount(DateList list) noexcept;                // 31, 12 or 61
std::string DateListEntry(DateList list, int index);      // "01", "12", "2030"; empty out of range
// The range a set of selections stands for; the widest one is off.
DateRange RangeOfSelections(const DateSelections& s) noexcept;

// The date kinds, in the order of their list: Modified, Created, Accessed.
const char* DateKindCaption(results::TimeKind kind) noexcept;

class SavingSettingsEditor;

// The settings themselves. Initially: deleted files included, no extensions,
// every range off. Only the editor changes them, so the rules of the dialog
// (at most 100 distinct extensions of at most 4 units, ranges made from
// list selections) always hold.
class SavingSettings {
public:
    SavingSettings() = default;

    DeletedMode Mode() const noexcept { return mode_; }
    // In the order they were added.
    const std::vector<std::u16string>& Extensions() const noexcept { return extensions_; }
    const DateRange& Range(results::TimeKind kind) const noexcept { return ranges_[Slot(kind)]; }
    // The selections last shown for the kind (all 0 until first changed).
    const DateSelections& Selections(results::TimeKind kind) const noexcept { return selections_[Slot(kind)]; }

    // The filters. `name` is the name as written (the narrow name through the
    // code page, or the wide name); `ntfs` tells how item times are kept
    // (FILETIME, or DOS date and time words).
    bool PassesDeletedMode(const analysis::FileItem& file) const noexcept;
    // The text after the name's last '.', or the whole name without one, cut
    // to 7 units, equal to an entry regardless of case. An empty list passes
    // every name.
    bool PassesExtension(std::u16string_view name) const;
    // Modified, created and accessed ranges in turn; ranges that are off pass.
    bool PassesDateRanges(const analysis::FileItem& file, bool ntfs) const noexcept;
    // All three, in the order the copy engine applies them: dates, deleted
    // state, extension.
    bool Passes(const analysis::FileItem& file, std::u16string_view name, bool ntfs) const;

    friend bool operator==(const SavingSettings&, const SavingSettings&) = default;

private:
    friend class SavingSettingsEditor;
    static std::size_t Slot(results::TimeKind kind) noexcept { return static_cast<std::size_t>(kind); }

    DeletedMode mode_ = DeletedMode::Include;
    std::vector<std::u16string> extensions_;
    std::array<DateRange, 3> ranges_{};
    std::array<DateSelections, 3> selections_{};
};

// What the settings dialog does, for a Qt dialog or the command line to drive.
// Made when the dialog opens: it takes a copy of the settings for Cancel.
// Changes reach the settings at once; Cancel puts the copy back.
class SavingSettingsEditor {
public:
    SavingSettingsEditor(SavingSettings& settings, base::Prompter& prompter);
    SavingSettingsEditor(const SavingSettingsEditor&) = delete;
    SavingSettingsEditor& operator=(const SavingSettingsEditor&) = delete;

    // "Deleted Data": the radio button to check, and a click on one.
    DeletedMode Mode() const noexcept { return settings_.mode_; }
    void SetMode(DeletedMode mode) noexcept;  // values outside 0..2 are ignored

    // The extension list box, newest entry first (the list itself keeps the
    // order of adding; on opening the box shows it in that order).
    const std::vector<std::u16string>& ListBox() const noexcept { return listBox_; }
    std::optional<std::size_t> SelectedRow() const noexcept { return selected_; }
    void SelectRow(std::size_t row) noexcept;  // out of range: ignored
    // Whether "<<" is enabled: whenever the list box has entries.
    bool RemoveEnabled() const noexcept { return !listBox_.empty(); }

    // "&>>" with the edit field's text. Checks, in order: a full list, more
    // than 4 units, a leading space, empty text (silently ignored), '.', '*',
    // an entry equal to it (case counts); each refusal is shown through the
    // prompter and changes nothing. Returns true when the text was added at
    // the top of the box and selected: the dialog then empties the edit field
    // and gives the list box the focus.
    bool AddExtension(std::u16string_view text);
    // "<<": removes the selected row, and every list entry equal to it (case
    // counts, the others keep their order); the first remaining row is then
    // selected. Nothing happens with no row selected.
    void RemoveExtension();

    // "Date Range Selection". On opening "Modified Date" is chosen.
    results::TimeKind DateKind() const noexcept { return kind_; }
    // Shows the kind's stored selections; a last-day list still at its first
    // entry shows its last entry (31, 12, 2030), as on opening.
    void ChooseDateKind(results::TimeKind kind) noexcept;
    // The six selections shown.
    const DateSelections& DateLists() const noexcept { return shown_; }
    // A change of one list, or of all six (for the command line): stores the
    // six selections for the chosen kind and makes its range from them.
    // Returns false, changing nothing, for an index outside its list.
    bool SetDateList(DateList list, int index) noexcept;
    bool SetDateLists(const DateSelections& selections) noexcept;

    // "&Apply" keeps the settings (a later Cancel goes back to them);
    // "Cancel" puts back every setting as it was at opening or the last Apply.
    void Apply();
    void Cancel();

private:
    void ShowKind(results::TimeKind kind) noexcept;
    void StoreShown() noexcept;

    SavingSettings& settings_;
    base::Prompter& prompter_;
    SavingSettings snapshot_;
    std::vector<std::u16string> listBox_;
    std::optional<std::size_t> selected_;
    results::TimeKind kind_ = results::TimeKind::Modified;
    DateSelections shown_{};
};

}  // namespace dravik::saving
