// The commands of dravik-cli. Each returns the process's exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dravik::cli {

struct Common {
    std::vector<std::string> images;  // --image, repeatable
    bool noSystemDisks = false;       // --no-system-disks
    std::uint32_t sectorSize = 0;     // --sector-size: of the attached images; 0 from their table
};

int RunDisks(const Common& common, bool json);

struct AnalyseOptions {
    std::string source;
    std::string mode = "deleted";  // deleted | formatted | partition
    int partition = 0;             // 1-based; 0: the only one
    std::vector<std::uint64_t> range;  // FIRST END
    std::string fileSystem;        // NTFS | FAT16 | FAT32 (partition mode)
    int volume = 0;                // partition mode: the found volume to analyse
    std::string log;
    std::string onBadSector = "ask";  // ask | retry | skip, as recover has it
};
int RunAnalyse(const Common& common, const AnalyseOptions& o);

struct ListOptions {
    std::string log;
    std::string folder;
    bool recursive = false;
    bool deletedOnly = false;
    bool json = false;
    bool bodyfile = false;
};
int RunList(const Common& common, const ListOptions& o);

struct SearchOptions {
    std::string log;
    std::string pattern;
    std::string deleted = "include";
    std::vector<std::string> size;  // FROM TO UNIT
    std::vector<std::string> date;  // KIND FROM TO (dates as YYYY-MM-DD)
    bool json = false;
};
int RunSearch(const Common& common, const SearchOptions& o);

struct RecoverOptions {
    std::string log;
    std::string to;
    std::vector<std::string> select;
    bool all = false;
    std::string deletedMode = "include";
    std::string extensions;
    std::vector<std::string> modified, created, accessed;  // FROM TO
    std::string onConflict = "ask", onBadSector = "ask", onError = "ask";
    bool yes = false;
    std::string report;
    bool allowSameDevice = false;  // write onto the device (or image's file system) being recovered
};
int RunRecover(const Common& common, const RecoverOptions& o);

}  // namespace dravik::cli
