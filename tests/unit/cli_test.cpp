// dravik-cli end to end through its binary, on the real images: analyse in
// each mode, list, search, recover, and the exit statuses scripts rely on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/manifest.h"
#include "support/md5.h"
#include "support/test_images.h"

#ifdef DRAVIK_CLI_PATH

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out, err;
};

// Runs the binary with `args` (stdin from /dev/null, as in a script), after
// the shell commands in `before`.
Result Cli(const std::vector<std::string>& args, const std::string& before = "") {
    const fs::path errFile = fs::temp_directory_path() / ("dravik-cli-err-" + std::to_string(::getpid()));
    std::string command = before + "exec '" + DRAVIK_CLI_PATH + "'";
    for (const auto& a : args) {
        command += " '";
        for (char c : a) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += "'";
    }
    command += " </dev/null 2>'" + errFile.string() + "'";
    Result r;
    FILE* p = ::popen(command.c_str(), "r");
    std::array<char, 65536> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
    fs::remove(errFile);
    return r;
}

// The test folders share a file system with the images in the build tree,
// which recover refuses without --allow-same-device (tested on its own in
// destination_guard_test.cpp).
class CliTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("dravik-cli-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Image(const std::string& name) { return ImagePath(name + ".img").string(); }
    std::vector<std::string> Common(const std::string& image) { return {"--no-system-disks", "--image", image}; }
    Result Analyse(const std::string& image, std::vector<std::string> extra, const std::string& log) {
        std::vector<std::string> args{"analyse", image, "--no-system-disks", "--log", log};
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    }
};

TEST_F(CliTest, EveryCommandHasHelp) {
    for (const char* cmd : {"disks", "analyse", "ls", "search", "recover"}) {
        const auto r = Cli({cmd, "--help"});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << cmd;
    }
    EXPECT_EQ(Cli({"--version"}).status, 0);
    EXPECT_NE(Cli({}).status, 0) << "a command is required";
}

TEST_F(CliTest, DisksListsAnAttachedImageWithItsPartitions) {
    const auto r = Cli({"disks", "--no-system-disks", "--image", Image("disk-mbr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Disk0"), std::string::npos);
    EXPECT_NE(r.out.find("Partition - 1 ( NTFS )"), std::string::npos);
    EXPECT_NE(r.out.find("Partition - 2 ( FAT32 )"), std::string::npos);
}

TEST_F(CliTest, NtfsDeletedModeListsTheManifestAndRecoversByteExact) {
    const std::string image = Image("ntfs-basic"), log = (dir / "basic").string();
    const std::string before = Md5::OfFile(image);
    auto r = Analyse(image, {}, log);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(log + ".qsln"));

    r = Cli({"ls", log + ".qsln", "-r", "--json", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto items = nlohmann::json::parse(r.out);
    std::map<std::string, nlohmann::json> byPath;
    for (const auto& i : items) byPath[i["path"].get<std::string>()] = i;
    int checked = 0;
    for (const auto& row : ReadManifest(ManifestPath("ntfs-basic.manifest.tsv"))) {
        if ((!row.IsFile() && !row.IsDir()) || row.state == "reused" || row.path.rfind("Reuse/Short-lived", 0) == 0)
            continue;
        SCOPED_TRACE(row.path);
        auto it = byPath.find(row.path);
        ASSERT_NE(it, byPath.end());
        EXPECT_EQ(it->second["kind"], row.IsDir() ? "folder" : "file");
        EXPECT_EQ(it->second["deleted"], row.state == "deleted");
        if (row.IsFile()) {
            EXPECT_EQ(it->second["size"], row.size);
        }
        ++checked;
    }
    EXPECT_GT(checked, 6000);

    // The body file: eleven fields a line, times in seconds since 1970.
    r = Cli({"ls", log + ".qsln", "-r", "--bodyfile", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::vector<std::string>> body;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string f; std::getline(in, f, '|');) fields.push_back(f);
        ASSERT_EQ(fields.size(), 11u) << line;
        body[fields[1]] = fields;
    }
    for (const auto& row : ReadManifest(ManifestPath("ntfs-basic.manifest.tsv")))
        if (row.IsFile() && row.state == "live" && row.path.rfind("Big/", 0) == 0) {
            auto it = body.find("/" + row.path);
            ASSERT_NE(it, body.end()) << row.path;
            EXPECT_EQ(it->second[6], std::to_string(row.size));
            EXPECT_EQ(it->second[8], std::to_string(row.mtime / 10'000'000 - 11'644'473'600ULL));
        }

    r = Cli({"ls", log + ".qsln", "Fragmented", "--deleted", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Fragmented/deleted fragmented.log"), std::string::npos);
    EXPECT_EQ(r.out.find("frag small.dat"), std::string::npos) << "live files are left out";

    r = Cli({"search", log + ".qsln", "*.log", "--deleted", "only", "--json", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& hit : nlohmann::json::parse(r.out)) EXPECT_TRUE(hit["deleted"].get<bool>());

    const fs::path out = dir / "out";
    r = Cli({"recover", log + ".qsln", "--to", out.string(), "--all", "--report", (dir / "report.json").string(),
             "--image", image, "--no-system-disks", "--allow-same-device"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Saving completed successfully."), std::string::npos);
    int exact = 0, timed = 0;
    for (const auto& row : ReadManifest(ManifestPath("ntfs-basic.manifest.tsv")))
        if (row.IsFile() && row.state == "live") {
            exact += Md5::OfFile(out / row.path) == row.md5;
            // FILETIME ticks since 1601 against the written file's seconds since 1970.
            struct stat st {};
            if (::stat((out / row.path).c_str(), &st) == 0)
                timed += std::uint64_t(st.st_mtime) == row.mtime / 10'000'000 - 11'644'473'600ULL;
        }
    EXPECT_EQ(exact, 3786);
    EXPECT_EQ(timed, 3786) << "every live file keeps its last-write time";
    const auto report = nlohmann::json::parse(std::ifstream(dir / "report.json"));
    EXPECT_GT(report.size(), 6000u);
    // Files whose data runs on in extension records come whole from a log
    // too (the log does not carry the walk's map of them).
    for (const auto& e : report) EXPECT_EQ(e["outcome"], "written") << e["source"];
    EXPECT_EQ(Md5::OfFile(image), before) << "the source is never written";
}

TEST_F(CliTest, NtfsFormattedModeFindsTheOldFolders) {
    const std::string image = Image("ntfs-formatted");
    const std::string before = Md5::OfFile(image);
    auto r = Analyse(image, {"--mode", "formatted"}, (dir / "fmt").string());
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli({"ls", (dir / "fmt.qsln").string(), "-r", "--json", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> names;
    for (const auto& i : nlohmann::json::parse(r.out)) {
        const auto path = i["path"].get<std::string>();
        names.insert(path.substr(path.rfind('/') + 1));
    }
    int found = 0, old = 0;
    for (const auto& row : ReadManifest(ManifestPath("ntfs-formatted.manifest.tsv")))
        if (row.IsFile()) {  // the manifest of the volume before the format
            ++old;
            found += names.count(row.Name()) != 0;
        }
    EXPECT_GT(old, 0);
    EXPECT_GE(found * 10, old * 9) << "most files of the old volume are found by their records";
    EXPECT_EQ(Md5::OfFile(image), before);
}

TEST_F(CliTest, FatFormattedModeAndAPartitionedDisk) {
    auto r = Analyse(Image("fat32-formatted"), {"--mode", "formatted"}, (dir / "fmt").string());
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli({"search", (dir / "fmt.qsln").string(), "*", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The old root is gone: its folders come back under made-up names, the
    // levels below them under their own.
    EXPECT_NE(r.out.find("/Alpha/src/"), std::string::npos) << r.out;

    r = Analyse(Image("disk-mbr"), {}, (dir / "mbr").string());
    EXPECT_EQ(r.status, 2) << "several partitions: one must be chosen";
    EXPECT_NE(r.err.find("--partition"), std::string::npos);
    EXPECT_NE(r.err.find("Partition - 2 ( FAT32 )"), std::string::npos);
    r = Analyse(Image("disk-mbr"), {"--partition", "2"}, (dir / "mbr").string());
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli({"ls", (dir / "mbr.qsln").string(), "--json", "-r", "--no-system-disks"});
    std::set<std::string> paths;
    for (const auto& i : nlohmann::json::parse(r.out)) paths.insert(i["path"].get<std::string>());
    for (const auto& row : ReadManifest(ManifestPath("disk-mbr.p2.manifest.tsv")))
        if (row.state == "live") {
            EXPECT_TRUE(paths.count(row.path)) << row.path;
        }
}

TEST_F(CliTest, PartitionSearchOverADiskWithoutItsTable) {
    const std::string image = Image("disk-zeroed");
    auto r = Analyse(image, {"--mode", "partition", "--fs", "FAT32"}, (dir / "found").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1: FAT32  Start Sector 34816  End Sector 108544"), std::string::npos) << r.out;
    r = Analyse(image, {"--mode", "partition", "--fs", "FAT32", "--volume", "1"}, (dir / "vol").string());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir / "out";
    r = Cli({"recover", (dir / "vol.qsln").string(), "--to", out.string(), "--all", "--image", image,
             "--no-system-disks", "--allow-same-device"});
    EXPECT_EQ(r.status, 0) << r.err;
    int exact = 0, live = 0;
    for (const auto& row : ReadManifest(ManifestPath("disk-zeroed.p2.manifest.tsv")))
        if (row.IsFile() && row.state == "live") {
            ++live;
            exact += Md5::OfFile(out / row.path) == row.md5;
        }
    EXPECT_GT(live, 0);
    EXPECT_EQ(exact, live) << "the found volume is walked like a listed one: every live file at its path";
}

TEST_F(CliTest, ConflictOptionsAndStatusesForScripts) {
    const std::string image = Image("fat12"), log = (dir / "f").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    const fs::path out = dir / "out";
    auto recover = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"recover", log + ".qsln", "--to", out.string(), "--select", "Docs/Letters",
                                      "--image", image, "--no-system-disks", "--allow-same-device"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    };
    auto r = recover({});
    ASSERT_EQ(r.status, 0) << r.err;
    r = recover({});
    EXPECT_EQ(r.status, 2) << "a conflict needs an answer and there is no terminal";
    EXPECT_NE(r.err.find("--on-conflict"), std::string::npos);
    EXPECT_EQ(recover({"--on-conflict", "skip"}).status, 0) << "skipped files count as done";
    EXPECT_EQ(recover({"--on-conflict", "rename"}).status, 0);
    EXPECT_TRUE(fs::exists(out / "Docs" / "Letters" / "2023" / "report 010.txt"));
    EXPECT_EQ(recover({"--on-conflict", "overwrite"}).status, 0);

    EXPECT_EQ(Cli({"recover", log + ".qsln", "--to", (dir / "x").string(), "--no-system-disks"}).status, 2)
        << "the source must be attached to recover";
    EXPECT_EQ(Cli({"ls", (dir / "missing.qsln").string()}).status, 2);
    r = Cli({"recover", log + ".qsln", "--to", (dir / "filtered").string(), "--select", "Docs",
             "--deleted-mode", "only", "--ext", "txt", "--image", image, "--no-system-disks",
             "--allow-same-device"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& e : fs::recursive_directory_iterator(dir / "filtered"))
        if (e.is_regular_file()) {
            // 8.3-only names keep their upper-case extension.
            std::string ext = e.path().extension().string();
            for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_EQ(ext, ".txt") << e.path();
        }
}

TEST_F(CliTest, DateOptionsSelectByModifiedDate) {
    const std::string image = Image("fat16"), log = (dir / "f").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    EXPECT_EQ(Cli({"search", log + ".qsln", "*", "--date", "modified", "2015-13-01", "2019-12-31"}).status, 2)
        << "month 13";
    EXPECT_EQ(Cli({"recover", log + ".qsln", "--to", (dir / "x").string(), "--all", "--modified", "1960-01-01",
                   "2019-12-31", "--image", image, "--no-system-disks"})
                  .status,
              2)
        << "before the first year the date lists hold";
    const fs::path out = dir / "dated";
    auto r = Cli({"recover", log + ".qsln", "--to", out.string(), "--all", "--modified", "2015-01-01", "2019-12-31",
                  "--image", image, "--no-system-disks", "--allow-same-device"});
    ASSERT_EQ(r.status, 0) << r.err;
    int written = 0, all = 0;
    for (const auto& row : ReadManifest(ManifestPath("fat16.manifest.tsv"))) all += row.IsFile();
    for (const auto& e : fs::recursive_directory_iterator(out)) {
        if (!e.is_regular_file()) continue;
        ++written;
        struct stat st {};
        ASSERT_EQ(::stat(e.path().c_str(), &st), 0);
        std::tm tm{};
        ::localtime_r(&st.st_mtime, &tm);
        EXPECT_GE(tm.tm_year + 1900, 2015) << e.path();
        EXPECT_LE(tm.tm_year + 1900, 2019) << e.path();
    }
    EXPECT_GT(written, 0);
    EXPECT_LT(written, all);
}

TEST_F(CliTest, WriteErrorsFollowTheErrorOption) {
    const std::string image = Image("ntfs-basic"), log = (dir / "n").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    // The destination takes no file past 64 KiB (ulimit counts 512-byte blocks here or 1 KiB ones).
    const std::string limit = "ulimit -f 128; ";
    auto recover = [&](const std::string& to, const std::string& onError) {
        return Cli({"recover", log + ".qsln", "--to", (dir / to).string(), "--select", "Documents", "--on-error", onError,
                    "--report", (dir / (to + ".json")).string(), "--image", image, "--no-system-disks",
                    "--allow-same-device"},
                   limit);
    };
    auto r = recover("ask", "ask");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("--on-error"), std::string::npos) << "no terminal: the option to set is named";

    r = recover("skip", "skip");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Saving not completed successfully."), std::string::npos);
    const auto report = nlohmann::json::parse(std::ifstream(dir / "skip.json"));
    int whole = 0, cut = 0;
    for (const auto& e : report) {
        const auto size = e["size"].get<std::uint64_t>();
        if (size <= 64 * 1024) {
            EXPECT_EQ(e["outcome"], "written") << e["source"];
            whole += e["written"] == size;
        } else if (e["outcome"] == "write failed") {
            ++cut;
            EXPECT_LT(e["written"].get<std::uint64_t>(), size);
            EXPECT_EQ(fs::file_size(e["destination"].get<std::string>()), e["written"].get<std::uint64_t>())
                << "what was written stays";
        }
    }
    EXPECT_GT(whole, 0);
    EXPECT_GT(cut, 0) << "files past the limit are reported and the save goes on";

    r = recover("abort", "abort");
    EXPECT_EQ(r.status, 1) << r.err;
    const auto aborted = nlohmann::json::parse(std::ifstream(dir / "abort.json"));
    EXPECT_LT(aborted.size(), report.size()) << "nothing is written after the first failure";
}

// ---- hostile input: crafted names and logs through the binary ----

// Replaces the UTF-16 text `from` in the file by `to` (of the same length).
void PatchUtf16(const fs::path& file, const std::string& from, const std::string& to) {
    ASSERT_EQ(from.size(), to.size());
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    auto wide = [](const std::string& t) {
        std::string w;
        for (char c : t) w += std::string{c, '\0'};
        return w;
    };
    const auto at = bytes.find(wide(from));
    ASSERT_NE(at, std::string::npos) << from;
    bytes.replace(at, 2 * from.size(), wide(to));
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

TEST_F(CliTest, ControlCharactersInNamesAreEscapedInTextAndBodyFile) {
    const std::string image = Image("fat12"), log = (dir / "f.qsln").string();
    const std::string md5 = Md5::OfFile(image);
    ASSERT_EQ(Analyse(image, {}, (dir / "f").string()).status, 0);
    PatchUtf16(log, "letter to the bank.txt", "letter\nto|the\x1b" "bank.txt");

    auto r = Cli({"ls", log, "-r", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no escape sequence reaches the terminal";
    EXPECT_NE(r.out.find("letter\\nto|the\\033bank.txt"), std::string::npos) << r.out;

    r = Cli({"ls", log, "-r", "--bodyfile", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("letter\\nto\\174the\\033bank.txt|"), std::string::npos);
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(line.rfind("0|/", 0), 0u) << "a forged line: " << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 10) << line;
    }

    r = Cli({"search", log, "*bank*", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_NE(r.out.find("letter\\nto|the\\033bank.txt"), std::string::npos) << r.out;
    EXPECT_EQ(Md5::OfFile(image), md5);
}

TEST_F(CliTest, ALogNamingAnUnknownFileSystemIsRefusedNotCrashedOn) {
    const std::string image = Image("fat12"), log = (dir / "f.qsln").string();
    ASSERT_EQ(Analyse(image, {}, (dir / "f").string()).status, 0);
    // The file-system names of the head: the partition's label and the
    // geometry's; both made unknown.
    std::ifstream in(log, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string name{"\x05" "F\0A\0T\0" "1\0" "2\0", 11};
    int patched = 0;
    for (auto at = bytes.find(name); at != std::string::npos && at < 2048; at = bytes.find(name, at + 1), ++patched)
        bytes[at + 5] = 'X';
    ASSERT_GE(patched, 1);
    std::ofstream(log, std::ios::binary | std::ios::trunc) << bytes;
    for (const auto& args : {std::vector<std::string>{"ls", log, "-r", "--no-system-disks"},
                             std::vector<std::string>{"recover", log, "--to", (dir / "out").string(), "--image",
                                                      image, "--no-system-disks", "--allow-same-device"}}) {
        const auto r = Cli(args);
        EXPECT_EQ(r.status, 2) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find("Log file is not valid."), std::string::npos) << r.err;
    }
}

TEST_F(CliTest, AFifoAsImageOrLogIsRefusedAtOnce) {
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::time(nullptr);
    // A blocked open would hang: a watcher kills the command after 20 s
    // (status -1).
    const std::string watcher =
        "(sleep 20; [ \"$(cat /proc/$$/comm 2>/dev/null)\" = dravik-cli ] && kill -9 $$) >/dev/null 2>&1 & ";
    auto r = Cli({"ls", fifo.string(), "--no-system-disks"}, watcher);
    EXPECT_EQ(r.status, 2) << r.err;
    r = Cli({"analyse", fifo.string(), "--no-system-disks", "--log", (dir / "l").string()}, watcher);
    EXPECT_GE(r.status, 1) << "refused, not blocked on the FIFO: " << r.err;
    EXPECT_LT(std::time(nullptr) - start, 20);
}


// ---- found volumes, FAT times and names, formatted volumes: what is written ----

// Files of a manifest byte-exact under `out` (live and deleted ones).
std::pair<int, int> ExactFiles(const std::string& manifest, const fs::path& out) {
    int exact = 0, all = 0;
    for (const auto& row : ReadManifest(ManifestPath(manifest)))
        if (row.IsFile() && (row.state == "live" || row.state == "deleted")) {
            ++all;
            exact += Md5::OfFile(out / row.path) == row.md5;
        }
    return {exact, all};
}

TEST_F(CliTest, PartitionSearchRecoversTheFoundNtfsVolumeByteExact) {
    const std::string image = Image("disk-zeroed"), log = (dir / "ntfs").string();
    auto r = Analyse(image, {"--mode", "partition", "--fs", "NTFS", "--volume", "1"}, log);
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir / "out";
    r = Cli({"recover", log + ".qsln", "--to", out.string(), "--all", "--image", image, "--no-system-disks",
             "--allow-same-device"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto [exact, all] = ExactFiles("disk-zeroed.p1.manifest.tsv", out);
    EXPECT_GT(all, 20);
    EXPECT_EQ(exact, all) << "live and deleted files of the found volume, each at its path";
}

// The manifests keep FAT times as (date << 16) | time, local time; the test
// runs the binary in UTC.
std::time_t FatManifestTime(std::uint64_t words) {
    const auto date = static_cast<unsigned>(words >> 16), time = static_cast<unsigned>(words & 0xFFFF);
    std::tm tm{};
    tm.tm_year = int(date >> 9) + 80;
    tm.tm_mon = int((date >> 5) & 0x0F) - 1;
    tm.tm_mday = int(date & 0x1F);
    tm.tm_hour = int(time >> 11);
    tm.tm_min = int((time >> 5) & 0x3F);
    tm.tm_sec = int(time & 0x1F) * 2;
    return ::timegm(&tm);
}

TEST_F(CliTest, FatTimesAreWrittenToTheSecondOnFilesAndFolders) {
    const std::string image = Image("fat16"), log = (dir / "f").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    const fs::path out = dir / "out";
    auto r = Cli({"recover", log + ".qsln", "--to", out.string(), "--all", "--image", image, "--no-system-disks",
                  "--allow-same-device"},
                 "export TZ=UTC; ");
    ASSERT_LE(r.status, 1) << r.err;
    int files = 0, filesTimed = 0, odd = 0, folders = 0, foldersTimed = 0;
    for (const auto& row : ReadManifest(ManifestPath("fat16.manifest.tsv"))) {
        if (row.state != "live" || (!row.IsFile() && !row.IsDir())) continue;
        struct stat st {};
        if (::stat((out / row.path).c_str(), &st) != 0) continue;
        const bool same = st.st_mtime == FatManifestTime(row.mtime);
        EXPECT_TRUE(same) << row.path << ": " << st.st_mtime << " vs " << FatManifestTime(row.mtime);
        if (row.IsDir()) {
            ++folders;
            foldersTimed += same;
        } else {
            ++files;
            filesTimed += same;
            odd += (row.mtime & 0x1F) != 0;
        }
    }
    EXPECT_GT(files, 20);
    EXPECT_GT(odd, 10) << "the times hold seconds";
    EXPECT_EQ(filesTimed, files);
    EXPECT_GT(folders, 3);
    EXPECT_EQ(foldersTimed, folders) << "folders get their times after their files were written";
}

TEST_F(CliTest, ANulInsideAFatLongNameIsKeptAndMadeSafe) {
    // "report 01.txt" has one long-name part; its space becomes a NUL.
    const fs::path copy = dir / "fat16.img";
    fs::copy_file(Image("fat16"), copy);
    {
        std::fstream f(copy, std::ios::binary | std::ios::in | std::ios::out);
        std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        const std::string head{"r\0e\0p\0o\0r\0", 10};
        std::size_t at = 0, part = std::string::npos;
        for (at = bytes.find(head); at != std::string::npos; at = bytes.find(head, at + 1))
            if (at % 32 == 1 && bytes[at + 10] == 0x0F && bytes[at + 15] == ' ' && bytes[at + 17] == '0') {
                part = at - 1;
                break;
            }
        ASSERT_NE(part, std::string::npos);
        f.seekp(static_cast<std::streamoff>(part + 16));
        f.put('\0');
    }
    const std::string log = (dir / "f").string();
    ASSERT_EQ(Analyse(copy.string(), {}, log).status, 0);
    const fs::path out = dir / "out";
    auto r = Cli({"recover", log + ".qsln", "--to", out.string(), "--select", "Docs/Letters/2023", "--report",
                  (dir / "report.json").string(), "--image", copy.string(), "--no-system-disks",
                  "--allow-same-device"});
    ASSERT_LE(r.status, 1) << r.err;
    EXPECT_TRUE(fs::exists(out / "Docs/Letters/2023/report_01.txt")) << "the whole name, its NUL replaced";
    EXPECT_FALSE(fs::exists(out / "Docs/Letters/2023/report"));
    bool reported = false;
    for (const auto& e : nlohmann::json::parse(std::ifstream(dir / "report.json")))
        if (e["source"].get<std::string>() == std::string("Docs/Letters/2023/report\0" "01.txt", 31)) {
            reported = true;
            EXPECT_EQ(fs::path(e["destination"].get<std::string>()).filename(), "report_01.txt");
            EXPECT_EQ(e["name"], "made safe") << e.dump();
        }
    EXPECT_TRUE(reported);
}

TEST_F(CliTest, AQuickFormattedNtfsVolumeIsRecoveredWholeWithTheDefaultAnswers) {
    const std::string image = Image("ntfs-formatted"), log = (dir / "fmt").string();
    ASSERT_EQ(Analyse(image, {"--mode", "formatted"}, log).status, 0);
    const fs::path out = dir / "out";
    auto r = Cli({"recover", log + ".qsln", "--to", out.string(), "--all", "--image", image, "--no-system-disks",
                  "--allow-same-device"});
    EXPECT_NE(r.status, 2) << "no conflict stops it: " << r.err;
    EXPECT_EQ(r.err.find("--on-conflict"), std::string::npos) << r.err;
    // Every file selected is written: the system files of both volumes
    // (the second of each name beside the first under a numbered name).
    int written = 0;
    for (const auto& e : fs::recursive_directory_iterator(out)) written += e.is_regular_file();
    EXPECT_NE(r.err.find("Total Files      :- " + std::to_string(written) + "\n"), std::string::npos)
        << written << " written\n" << r.err;
    EXPECT_TRUE(fs::exists(out / "$MFT") && fs::exists(out / "$MFT0")) << "the old one and the new one";
    // The files of the volume before the format and those written after it.
    std::set<std::string> md5s;
    for (const auto& e : fs::recursive_directory_iterator(out))
        if (e.is_regular_file()) md5s.insert(Md5::OfFile(e.path()));
    int found = 0, old = 0;
    for (const auto& row : ReadManifest(ManifestPath("ntfs-formatted.manifest.tsv")))
        if (row.IsFile() && row.state == "live" && row.size > 0) {
            ++old;
            found += md5s.count(row.md5) != 0;
        }
    EXPECT_GT(old, 0);
    EXPECT_GE(found * 10, old * 9) << found << " of " << old << " old files written byte-exact";
    int fresh = 0, freshExact = 0;
    for (const auto& row : ReadManifest(ManifestPath("ntfs-formatted.new.manifest.tsv")))
        if (row.IsFile() && row.state == "live" && row.size > 0) {
            ++fresh;
            freshExact += md5s.count(row.md5) != 0;
        }
    EXPECT_EQ(freshExact, fresh);
}

}  // namespace
}  // namespace dravik::test

#endif
