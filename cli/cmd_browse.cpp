// dravik-cli ls and search: the items of a scan log, as text, JSON or a
// body file for timeline tools.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "analysis/item_records.h"
#include "analysis/record_times.h"
#include "analysis/scan_log.h"
#include "base/size_text.h"
#include "commands.h"
#include "drives/drive_catalogue.h"
#include "platform/text.h"
#include "results/item_text.h"
#include "results/search.h"
#include "run_support.h"
#include "session.h"

namespace dravik::cli {

namespace {

using analysis::FileItem;
using analysis::FolderItem;

// A tree path with '/' between the names, as the shell writes it.
std::string Slashed(std::u16string path) {
    std::replace(path.begin(), path.end(), u'\\', u'/');
    return platform::Utf16ToUtf8(path);
}

// Item times as ISO 8601 (UTC for NTFS, local time for FAT, a date alone for
// FAT's access date); nullopt when the value is no date.
std::optional<std::string> Iso(std::uint64_t time, bool ntfs, results::TimeKind kind) {
    if (ntfs) {
        if (time == 0) return std::nullopt;
        const auto d = results::DateOf(time, true);
        const std::uint64_t s = time / 10'000'000ull % 86400;
        return base::Format("%04d-%02d-%02dT%02u:%02u:%02uZ", d.year, d.month, d.day, unsigned(s / 3600),
                           unsigned(s / 60 % 60), unsigned(s % 60));
    }
    const auto d = results::DateOf(time, false);
    if (d.month < 1 || d.month > 12 || d.day < 1) return std::nullopt;
    if (kind == results::TimeKind::Accessed) return base::Format("%04d-%02d-%02d", d.year, d.month, d.day);
    const auto t = static_cast<std::uint16_t>(time >> 32);
    if ((t >> 11) > 23 || ((t >> 5) & 0x3F) > 59) return std::nullopt;
    return base::Format("%04d-%02d-%02dT%02u:%02u:%02u", d.year, d.month, d.day, unsigned(t >> 11),
                       unsigned((t >> 5) & 0x3F), unsigned((t & 0x1F) * 2));
}

// Seconds since 1970 for a body file; 0 when unknown.
long long Unix(std::uint64_t time, bool ntfs) {
    if (ntfs) return time > 116444736000000000ull ? static_cast<long long>((time - 116444736000000000ull) / 10'000'000ull) : 0;
    const auto d = results::DateOf(time, false);
    if (d.month < 1 || d.month > 12 || d.day < 1) return 0;
    std::tm tm{};
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month - 1;
    tm.tm_mday = d.day;
    const auto t = static_cast<std::uint16_t>(time >> 32);
    tm.tm_hour = t >> 11;
    tm.tm_min = (t >> 5) & 0x3F;
    tm.tm_sec = (t & 0x1F) * 2;
    tm.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&tm));
}

// The modified time of a listing, blank when the item has none (the "Lost"
// folder, a FAT entry without a date) rather than 1601 or 1980.
std::string WhenText(std::uint64_t time, bool ntfs) {
    if (!Iso(time, ntfs, results::TimeKind::Modified)) return std::string(ntfs ? 20 : 17, ' ');
    return results::DateText(time, ntfs, results::TimeKind::Modified);
}

// NTFS keeps UTC, FAT the local time of the machine that wrote the entry.
std::string ListHeader(bool ntfs) {
    return base::Format("T D         Size  %-*s  Path", ntfs ? 20 : 17, ntfs ? "Modified (UTC)" : "Modified (local)");
}

std::string ListLine(const char* type, bool deleted, std::uint64_t size, std::uint64_t modified, bool ntfs,
                     const std::string& path) {
    return base::Format("%s %c %12llu  %s  %s", type, deleted ? '*' : ' ', static_cast<unsigned long long>(size),
                        WhenText(modified, ntfs).c_str(), path.c_str());
}

struct Entry {
    std::string path;
    const FolderItem* folder = nullptr;
    const FileItem* file = nullptr;
};

template <class Item>
nlohmann::json ItemJson(const std::string& path, const Item& i, bool isFolder, bool ntfs) {
    auto iso = [&](std::uint64_t t, results::TimeKind k) -> nlohmann::json {
        auto s = Iso(t, ntfs, k);
        return s ? nlohmann::json(*s) : nlohmann::json(nullptr);
    };
    std::uint64_t size = 0;
    if constexpr (std::is_same_v<Item, FileItem>) size = i.size;
    return {{"path", path},
            {"kind", isFolder ? "folder" : "file"},
            {"deleted", i.deleted == analysis::kYes},
            {"size", size},
            {"modified", iso(i.modified, results::TimeKind::Modified)},
            {"created", iso(i.created, results::TimeKind::Created)},
            {"accessed", iso(i.accessed, results::TimeKind::Accessed)},
            {"number", i.number},
            {"parent", i.parent},
            // NTFS times are UTC (their texts end in Z), FAT times the local
            // time the entries hold.
            {"time_zone", ntfs ? "UTC" : "local"}};
}

// One body-file line: md5|name|inode|mode|uid|gid|size|atime|mtime|ctime|crtime.
void BodyLine(const std::string& name, const std::string& inode, const std::string& mode, std::uint64_t size,
              long long atime, long long mtime, long long ctime, long long crtime) {
    std::printf("0|/%s|%s|%s|0|0|%llu|%lld|%lld|%lld|%lld\n", name.c_str(), inode.c_str(), mode.c_str(),
                static_cast<unsigned long long>(size), atime, mtime, ctime, crtime);
}

// The body-file lines of an item, as fls -m writes them: with its record
// read again (`record`), an NTFS item carries the entry-change time, and a
// file or folder (not a stream) a first line with its $FILE_NAME's times;
// the inode names the attribute as number-type-instance. Without it, one
// line from the item's own times, the change time 0 (FAT has none).
void PrintBody(const Entry& e, bool deleted, bool ntfs, const analysis::RecordTimes* record) {
    // A name holding a newline or '|' would forge a line or a field.
    const std::string name = Escaped(e.path, "|");
    const std::string gone = deleted ? " (deleted)" : "";
    // A deleted NTFS item has no index entry left to tell its type; a FAT
    // entry keeps its attributes.
    const char* type = deleted && ntfs ? "-" : e.folder ? "d" : "r";
    const std::string mode = type + std::string(e.folder ? "/drwxrwxrwx" : "/rrwxrwxrwx");
    const std::uint32_t number = e.folder ? e.folder->number : e.file->number;
    // A folder's size is that of its index root, as fls shows it.
    const std::uint64_t size = e.file ? e.file->size : record ? record->indexRootSize : 0;
    auto unix = [ntfs](std::uint64_t t) { return Unix(t, ntfs); };
    if (record && record->fileName && !record->stream) {
        const auto& f = *record->fileName;
        BodyLine(name + " ($FILE_NAME)" + gone,
                 std::to_string(number) + "-" + std::to_string(analysis::ntfs::attr::kFileName) + "-" +
                     std::to_string(record->fileNameId),
                 mode, record->fileNameSize, unix(f.accessed), unix(f.modified), unix(f.changed), unix(f.created));
    }
    std::string inode = std::to_string(number);
    if (record && record->itemType != 0)
        inode += "-" + std::to_string(record->itemType) + "-" + std::to_string(record->itemId);
    if (record && record->standard) {
        const auto& t = *record->standard;
        BodyLine(name + gone, inode, mode, size, unix(t.accessed), unix(t.modified), unix(t.changed), unix(t.created));
        return;
    }
    const auto& t = e.folder ? std::tie(e.folder->accessed, e.folder->modified, e.folder->created)
                             : std::tie(e.file->accessed, e.file->modified, e.file->created);
    BodyLine(name + gone, inode, mode, size, unix(std::get<0>(t)), unix(std::get<1>(t)), 0, unix(std::get<2>(t)));
}

// Whether the disk or image the scan log was made on is attached (ls loads
// a log without it): only then are the items' records read again.
bool LogSourceAttached(Session& s, const std::string& log) {
    std::string path = log;
    if (!std::filesystem::exists(path)) path = analysis::ScanLogPath(path);
    const auto model = analysis::ScanLogDeviceModel(path);
    return model && !model->empty() && drives::SelectedDiskModel(*s.ctx) == *model;
}

}  // namespace

int RunList(const Common& common, const ListOptions& o) {
    Session s;
    s.Catalogue(common.images, !common.noSystemDisks, common.sectorSize);
    auto view = LoadLog(s, o.log, false);
    auto& tree = view->Tree();
    const bool ntfs = view->Ntfs();

    // The folder to list, by its names from the root, or a file in it.
    results::NodeHandle start = tree.Root();
    if (!tree.Valid(start)) throw CliError("the scan log holds no folder tree to list");
    std::vector<Entry> entries;
    bool oneFile = false;
    if (!o.folder.empty()) {
        const std::u16string path = TreePath(o.folder);
        const auto found = tree.NodesAtPath(path);
        if (!found.empty()) {
            start = found.front();
        } else {
            const auto slash = path.rfind(u'\\');
            const std::u16string folder = slash == std::u16string::npos ? u"" : path.substr(0, slash);
            const std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
            for (const auto n : tree.NodesAtPath(folder)) {
                view->ShowFolder(tree.FolderNumber(n));
                for (const auto& row : view->Rows())
                    if (row.file && results::DisplayName16(*row.file) == name && !oneFile) {
                        const std::string base = n == tree.Root() ? "" : Slashed(tree.Path(n)) + "/";
                        entries.push_back({base + results::DisplayName(*row.file), nullptr, row.file});
                        oneFile = true;
                    }
            }
            if (!oneFile) throw CliError("no folder or file " + o.folder + " in the scan log");
        }
    }
    std::vector<results::NodeHandle> stack;
    if (!oneFile) stack.push_back(start);
    while (!stack.empty()) {
        const results::NodeHandle node = stack.back();
        stack.pop_back();
        const std::string base = node == tree.Root() ? "" : Slashed(tree.Path(node)) + "/";
        view->ShowFolder(tree.FolderNumber(node));
        for (const auto& row : view->Rows()) {
            if (row.folder) entries.push_back({base + results::DisplayName(*row.folder), row.folder, nullptr});
            else entries.push_back({base + results::DisplayName(*row.file), nullptr, row.file});
        }
        if (o.recursive) {
            const auto& children = tree.Node(node).children;
            for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
        }
    }
    const bool color = StdoutIsTerminal();
    const bool readRecords = o.bodyfile && ntfs && LogSourceAttached(s, o.log);
    const analysis::RecordSource records = analysis::RecordSourceOf(*s.ctx);
    bool headed = false;
    nlohmann::json json = nlohmann::json::array();
    for (const auto& e : entries) {
        const bool deleted = e.folder ? e.folder->deleted == analysis::kYes : e.file->deleted == analysis::kYes;
        if (o.deletedOnly && !deleted) continue;
        if (o.json) {
            json.push_back(e.folder ? ItemJson(e.path, *e.folder, true, ntfs) : ItemJson(e.path, *e.file, false, ntfs));
        } else if (o.bodyfile) {
            std::optional<analysis::RecordTimes> record;
            if (readRecords)
                record = e.folder ? analysis::ReadRecordTimes(records, *e.folder)
                                  : analysis::ReadRecordTimes(records, *e.file);
            PrintBody(e, deleted, ntfs, record ? &*record : nullptr);
        } else {
            if (!headed) std::cout << ListHeader(ntfs) << "\n";
            headed = true;
            const std::string line = ListLine(e.folder ? "D" : "F", deleted, e.file ? e.file->size : 0,
                                              e.folder ? e.folder->modified : e.file->modified, ntfs,
                                              Escaped(e.path) + (e.folder ? "/" : ""));
            std::cout << (color && deleted ? "\x1b[31m" + line + "\x1b[0m" : line) << "\n";
        }
    }
    if (o.json) std::cout << json.dump(2) << "\n";
    return 0;
}

int RunSearch(const Common& common, const SearchOptions& o) {
    Session s;
    s.Catalogue(common.images, !common.noSystemDisks, common.sectorSize);
    auto view = LoadLog(s, o.log, false);
    results::SearchCriteria c;
    // A name pattern; one written as a listing's path ("/a.txt") is taken
    // by its name.
    std::string pattern = o.pattern;
    while (!pattern.empty() && pattern.front() == '/') pattern.erase(0, 1);
    if (pattern.empty()) pattern = "*";
    c.name = platform::Utf8ToUtf16(pattern);
    c.deletedMode = o.deleted == "exclude" ? results::DeletedMode::Exclude
                    : o.deleted == "only"  ? results::DeletedMode::Only
                                           : results::DeletedMode::Include;
    if (o.size.size() == 3) {
        c.CheckSize(true);
        c.sizeFrom = o.size[0];
        c.sizeTo = o.size[1];
        const std::string& u = o.size[2];
        c.sizeUnit = u == "KB" ? results::SizeUnit::KB : u == "MB" ? results::SizeUnit::MB
                     : u == "GB" ? results::SizeUnit::GB : results::SizeUnit::Bytes;
    }
    if (o.date.size() == 3) {
        c.CheckDate(true);
        c.dateKind = o.date[0] == "modified"   ? results::TimeKind::Modified
                     : o.date[0] == "accessed" ? results::TimeKind::Accessed
                                               : results::TimeKind::Created;
        auto day = [](const std::string& text) {
            if (auto d = ParseDay(text)) return *d;
            throw CliError("a date is written YYYY-MM-DD: " + text);
        };
        c.dateFrom = day(o.date[1]);
        c.dateTo = day(o.date[2]);
    }
    base::WorkerControl control;
    const auto hits = results::RunSearch(*view, c, control);
    nlohmann::json json = nlohmann::json::array();
    const bool ntfs = view->Ntfs();
    for (std::size_t row = 0; row < hits.Size(); ++row) {
        const auto& h = hits[row];
        std::string path = std::string(h.Path());
        std::replace(path.begin(), path.end(), '\\', '/');
        if (!o.json && row == 0) std::cout << ListHeader(ntfs) << "\n";
        if (h.folder) {
            if (o.json) json.push_back(ItemJson(path, *h.folder, true, ntfs));
            else
                std::cout << ListLine("D", h.folder->deleted == analysis::kYes, 0, h.folder->modified, ntfs,
                                      Escaped(path) + "/")
                          << "\n";
        } else {
            path += "/" + std::string(h.Text(results::kHitName));
            if (o.json) json.push_back(ItemJson(path, *h.file, false, ntfs));
            else
                std::cout << ListLine("F", h.file->deleted == analysis::kYes, h.file->size, h.file->modified, ntfs,
                                      Escaped(path))
                          << "\n";
        }
    }
    if (o.json) std::cout << json.dump(2) << "\n";
    else std::cerr << "Match Found : " << hits.Size() << "\n";
    return 0;
}

}  // namespace dravik::cli
