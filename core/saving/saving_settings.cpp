#include "saving/saving_settings.h"

#include <algorithm>

#include "base/size_text.h"
#include "platform/code_page.h"

namespace dravik::saving {

namespace {

constexpr std::size_t At(DateList list) noexcept { return static_cast<std::size_t>(list); }

bool InList(DateList list, int index) noexcept { return index >= 0 && index < DateListCount(list); }

// The selections as the dialog shows them: a last-day list at its first entry
// shows its last one, so that a range never set reads up to 31.12.2030.
DateSelections Displayed(DateSelections s) noexcept {
    for (DateList list : {DateList::LastDay, DateList::LastMonth, DateList::LastYear}) {
        if (s[At(list)] == 0) s[At(list)] = DateListCount(list) - 1;
    }
    return s;
}

}  // namespace

int DateListCount(DateList list) noexcept {
    switch (list) {
        case DateList::FirstDay:
        case DateList::LastDay: return 31;
        case DateList::FirstMonth:
        case DateList::LastMonth: return 12;
        case DateList::FirstYear:
        case DateList::LastYear: return 61;
    }
    return 0;
}

std::string DateListEntry(DateList list, int index) {
    if (!InList(list, index)) return {};
    if (list == DateList::FirstYear || list == DateList::LastYear) return base::Format("%d", kFirstListYear + index);
    return base::Format("%02d", index + 1);
}

DateRange RangeOfSelections(const DateSelections& s) noexcept {
    if (s == kWidestSelections) return {};
    return {{s[At(DateList::FirstDay)] + 1, s[At(DateList::FirstMonth)] + 1, kFirstListYear + s[At(DateList::FirstYear)]},
            {s[At(DateList::LastDay)] + 1, s[At(DateList::LastMonth)] + 1, kFirstListYear + s[At(DateList::LastYear)]}};
}

const char* DateKindCaption(results::TimeKind kind) noexcept {
    switch (kind) {
        case results::TimeKind::Modified: return caption::kModifiedDate;
        case results::TimeKind::Created: return caption::kCreatedDate;
        case results::TimeKind::Accessed: return caption::kAccessedDate;
    }
    return "";
}

bool DateRange::Contains(const results::CalendarDate& d) const noexcept {
    if (IsOff()) return true;
    // A whole-date comparison: a key that counted every month as 30 days
    // would give 31 January and 1 February the same key.
    const std::int64_t key = DateKey(d.year, d.month, d.day);
    return DateKey(first.year, first.month, first.day) <= key && key <= DateKey(last.year, last.month, last.day);
}

bool SavingSettings::PassesDeletedMode(const analysis::FileItem& file) const noexcept {
    switch (mode_) {
        case DeletedMode::Include: return true;
        case DeletedMode::Exclude: return file.deleted != analysis::kYes;
        case DeletedMode::Only: return file.deleted == analysis::kYes;
    }
    return true;
}

bool SavingSettings::PassesExtension(std::u16string_view name) const {
    if (extensions_.empty()) return true;
    const std::size_t dot = name.rfind(u'.');
    std::u16string_view ext = dot == std::u16string_view::npos ? name : name.substr(dot + 1);
    ext = ext.substr(0, kExtensionCut);
    return std::any_of(extensions_.begin(), extensions_.end(),
                       [ext](const std::u16string& e) { return platform::CompareNoCase(ext, e) == 0; });
}

bool SavingSettings::PassesDateRanges(const analysis::FileItem& file, bool ntfs) const noexcept {
    const std::uint64_t times[] = {file.modified, file.created, file.accessed};
    for (std::size_t i = 0; i < ranges_.size(); ++i) {
        if (ranges_[i].IsOff()) continue;
        if (!ranges_[i].Contains(results::DateOf(times[i], ntfs))) return false;
    }
    return true;
}

bool SavingSettings::Passes(const analysis::FileItem& file, std::u16string_view name, bool ntfs) const {
    return PassesDateRanges(file, ntfs) && PassesDeletedMode(file) && PassesExtension(name);
}

SavingSettingsEditor::SavingSettingsEditor(SavingSettings& settings, base::Prompter& prompter)
    : settings_(settings), prompter_(prompter), snapshot_(settings), listBox_(settings.extensions_) {
    ShowKind(results::TimeKind::Modified);
}

void SavingSettingsEditor::SetMode(DeletedMode mode) noexcept {
    if (mode == DeletedMode::Include || mode == DeletedMode::Exclude || mode == DeletedMode::Only)
        settings_.mode_ = mode;
}

void SavingSettingsEditor::SelectRow(std::size_t row) noexcept {
    if (row < listBox_.size()) selected_ = row;
}

bool SavingSettingsEditor::AddExtension(std::u16string_view text) {
    text = text.substr(0, kEditFieldLength);
    const char* refusal = nullptr;
    if (settings_.extensions_.size() >= kMaxExtensions) {
        refusal = msg::kCannotAddMoreExtensions;
    } else if (text.size() > kMaxExtensionLength) {
        refusal = msg::kExtensionTooLong;
    } else if (!text.empty() && text.front() == u' ') {
        refusal = msg::kExtensionBlank;
    } else if (text.empty()) {
        return false;
    } else if (text.find(u'.') != std::u16string_view::npos) {
        refusal = msg::kExtensionDot;
    } else if (text.find(u'*') != std::u16string_view::npos) {
        refusal = msg::kExtensionStar;
    } else if (std::find(listBox_.begin(), listBox_.end(), text) != listBox_.end()) {
        refusal = msg::kExtensionExists;
    }
    if (refusal) {
        prompter_.ViewMsgBox(refusal);
        return false;
    }
    listBox_.insert(listBox_.begin(), std::u16string(text));
    settings_.extensions_.emplace_back(text);
    selected_ = 0;
    return true;
}

void SavingSettingsEditor::RemoveExtension() {
    if (listBox_.empty() || !selected_) return;
    const std::u16string text = listBox_[*selected_];
    // Entries are distinct, but the box and the list must never disagree.
    std::erase(listBox_, text);
    std::erase(settings_.extensions_, text);
    selected_ = listBox_.empty() ? std::nullopt : std::optional<std::size_t>(0);
}

void SavingSettingsEditor::ChooseDateKind(results::TimeKind kind) noexcept { ShowKind(kind); }

bool SavingSettingsEditor::SetDateList(DateList list, int index) noexcept {
    if (!InList(list, index)) return false;
    shown_[At(list)] = index;
    StoreShown();
    return true;
}

bool SavingSettingsEditor::SetDateLists(const DateSelections& selections) noexcept {
    for (std::size_t i = 0; i < selections.size(); ++i) {
        if (!InList(static_cast<DateList>(i), selections[i])) return false;
    }
    shown_ = selections;
    StoreShown();
    return true;
}

void SavingSettingsEditor::Apply() { snapshot_ = settings_; }

void SavingSettingsEditor::Cancel() {
    settings_ = snapshot_;
    listBox_ = settings_.extensions_;
    selected_.reset();
    ShowKind(kind_);
}

void SavingSettingsEditor::ShowKind(results::TimeKind kind) noexcept {
    kind_ = kind;
    shown_ = Displayed(settings_.Selections(kind));
}

void SavingSettingsEditor::StoreShown() noexcept {
    const std::size_t slot = SavingSettings::Slot(kind_);
    settings_.selections_[slot] = shown_;
    settings_.ranges_[slot] = RangeOfSelections(shown_);
}

}  // namespace dravik::saving
