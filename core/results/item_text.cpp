#include "results/item_text.h"

#include "base/size_text.h"
#include "platform/code_page.h"
#include "platform/text.h"

namespace dravik::results {

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* MonthText(int month) { return month >= 1 && month <= 12 ? kMonths[month - 1] : "Err"; }

// Days since 1601-01-01 to a civil date (proleptic Gregorian).
CalendarDate CivilFromDays(std::int64_t days) {
    // Shift to days since 0000-03-01, the start of a 400-year cycle.
    days += 584694;  // 1601-01-01 is day 584694 after 0000-03-01
    const std::int64_t era = days / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CalendarDate d;
    d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    d.year = static_cast<int>(yoe + era * 400 + (d.month <= 2 ? 1 : 0));
    return d;
}

}  // namespace

CalendarDate DateOf(std::uint64_t time, bool ntfs) {
    if (ntfs) return CivilFromDays(static_cast<std::int64_t>(time / 10'000'000ull / 86400));
    const auto date = static_cast<std::uint16_t>(time);
    return {1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F};
}

std::string DateText(std::uint64_t time, bool ntfs, TimeKind kind) {
    const CalendarDate d = DateOf(time, ntfs);
    if (ntfs) {
        const std::uint64_t seconds = time / 10'000'000ull % 86400;
        return base::Format("%02d-%s-%d %02u:%02u:%02u", d.day, MonthText(d.month), d.year,
                           static_cast<unsigned>(seconds / 3600), static_cast<unsigned>(seconds / 60 % 60),
                           static_cast<unsigned>(seconds % 60));
    }
    if (kind == TimeKind::Accessed) return base::Format("%02d-%s-%d", d.day, MonthText(d.month), d.year);
    const auto word = static_cast<std::uint16_t>(time >> 32);
    return base::Format("%02d-%s-%d %02u:%02u", d.day, MonthText(d.month), d.year, unsigned(word >> 11),
                       unsigned((word >> 5) & 0x3F));
}

namespace {
template <class Item>
std::u16string Name16(const Item& item) {
    if (item.nameA) {
        auto narrow = analysis::NarrowName(item);
        return platform::OemToUtf16(narrow.substr(0, 100));
    }
    return std::u16string(analysis::WideName(item));
}
}  // namespace

std::u16string DisplayName16(const analysis::FolderItem& f) { return Name16(f); }
std::u16string DisplayName16(const analysis::FileItem& f) { return Name16(f); }
std::string DisplayName(const analysis::FolderItem& f) { return platform::Utf16ToUtf8(Name16(f)); }
std::string DisplayName(const analysis::FileItem& f) { return platform::Utf16ToUtf8(Name16(f)); }

std::string TypeText(const analysis::FolderItem& f) { return f.deleted == analysis::kYes ? "Deleted Folder" : "Folder"; }
std::string TypeText(const analysis::FileItem& f) { return f.deleted == analysis::kYes ? "Deleted File" : "File"; }

}  // namespace dravik::results
