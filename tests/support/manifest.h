// Reads the manifests written by tests/images/generate.sh before anything on
// the image was deleted: one row per file, folder and stream.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace dravik::test {

struct ManifestRow {
    std::string path;  // '/'-separated, relative to the volume root
    std::string kind;  // file | dir | stream
    std::uint64_t size = 0;
    std::string md5;
    std::uint64_t mtime = 0, crtime = 0, atime = 0;
    std::uint32_t record = 0;
    std::uint32_t parent = 0;
    std::string fragments;
    bool attrlist = false;
    std::string state;  // live | deleted | reused

    std::string Name() const {
        const auto slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    bool IsDir() const { return kind == "dir"; }
    bool IsFile() const { return kind == "file"; }
};

inline std::vector<ManifestRow> ReadManifest(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot open manifest " + file.string());
    auto split = [](const std::string& line) {
        std::vector<std::string> out;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '\t')) out.push_back(field);
        return out;
    };
    std::string line;
    std::vector<std::string> header;
    while (std::getline(in, line) && (line.empty() || line[0] == '#')) {}
    header = split(line);
    std::map<std::string, std::size_t> col;
    for (std::size_t i = 0; i < header.size(); ++i) col[header[i]] = i;
    for (const char* name : {"path", "kind", "size", "md5", "mtime", "crtime", "atime", "record", "parent", "state"})
        if (!col.count(name)) throw std::runtime_error(std::string("manifest lacks column ") + name);
    auto num = [](const std::string& s) -> std::uint64_t { return (s.empty() || s == "-") ? 0 : std::stoull(s); };
    std::vector<ManifestRow> rows;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto f = split(line);
        f.resize(header.size());
        ManifestRow r;
        r.path = f[col["path"]];
        r.kind = f[col["kind"]];
        r.size = num(f[col["size"]]);
        r.md5 = f[col["md5"]];
        r.mtime = num(f[col["mtime"]]);
        r.crtime = num(f[col["crtime"]]);
        r.atime = num(f[col["atime"]]);
        r.record = static_cast<std::uint32_t>(num(f[col["record"]]));
        r.parent = static_cast<std::uint32_t>(num(f[col["parent"]]));
        if (col.count("fragments")) r.fragments = f[col["fragments"]];
        if (col.count("attrlist")) r.attrlist = f[col["attrlist"]] == "y";
        r.state = f[col["state"]];
        rows.push_back(std::move(r));
    }
    return rows;
}

}  // namespace dravik::test
