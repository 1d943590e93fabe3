// dravik-cli as users meet it, through its binary: the exit statuses, the
// messages for wrong sources and destinations, the replace prompt on a
// terminal, paths as listings write them, and the partition search over
// every file-system type.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>
#include <set>

#include <nlohmann/json.hpp>

#include "support/cli_run.h"
#include "support/manifest.h"
#include "support/md5.h"
#include "support/test_images.h"

#ifdef DRAVIK_CLI_PATH

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

CliResult Cli(const std::vector<std::string>& args, const std::string& before = "") {
    return RunProgram(DRAVIK_CLI_PATH, args, before);
}

class CliUsageTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("dravik-usage-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::all, ec);
        for (auto& e : fs::recursive_directory_iterator(dir, ec)) fs::permissions(e.path(), fs::perms::all, ec);
        fs::remove_all(dir);
    }
    static std::string Image(const std::string& name) { return ImagePath(name + ".img").string(); }
    CliResult Analyse(const std::string& image, std::vector<std::string> extra, const std::string& log) {
        std::vector<std::string> args{"analyse", image, "--no-system-disks", "--log", log};
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    }
    // A run as the unprivileged user "nobody", for permission checks that
    // root would pass; empty when this test does not run as root.
    std::optional<CliResult> AsNobody(const std::vector<std::string>& args) {
        if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0) return std::nullopt;
        fs::permissions(dir, fs::perms::all);
        return RunProgram(DRAVIK_CLI_PATH, args, "export HOME=" + ShellQuoted(dir.string()) + "; ",
                          "setpriv --reuid=65534 --regid=65534 --clear-groups ");
    }
};

TEST_F(CliUsageTest, ExitStatusesAreOneDocumentedSet) {
    const auto help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* line : {"0  done", "1  done, but some files are incomplete", "2  usage or input error",
                             "3  nothing found"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line << "\n" << help.out;
    // Defaults are shown beside the options.
    const auto recoverHelp = Cli({"recover", "--help"});
    EXPECT_NE(recoverHelp.out.find("=ask"), std::string::npos) << recoverHelp.out;
    EXPECT_NE(recoverHelp.out.find("{include,exclude,only}=include"), std::string::npos) << recoverHelp.out;

    // Usage errors, which the parser reports with statuses of its own.
    EXPECT_EQ(Cli({"analyse", "--no-such-option"}).status, 2);
    EXPECT_EQ(Cli({"analyse"}).status, 2) << "SOURCE missing";
    EXPECT_EQ(Cli({"analyse", Image("fat12"), "--mode", "sideways", "--log", (dir / "l").string()}).status, 2);
    EXPECT_EQ(Cli({"no-such-command"}).status, 2);
    EXPECT_EQ(Cli({"disks", "--image", "/nonexistent.img", "--no-system-disks"}).status, 2);

    // Nothing found: an image with no file system, searched and analysed.
    const fs::path blank = dir / "blank.img";
    {
        std::ofstream f(blank, std::ios::binary);
        f << std::string(2 << 20, '\0');
    }
    auto r = Analyse(blank.string(), {}, (dir / "b").string());
    EXPECT_EQ(r.status, 3) << r.err;
    r = Analyse(blank.string(), {"--mode", "partition"}, (dir / "b").string());
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_FALSE(fs::exists(dir / "b.qsln")) << "no log of nothing";

    // Nothing selected: a filter that no file passes.
    const std::string log = (dir / "f").string();
    ASSERT_EQ(Analyse(Image("fat12"), {}, log).status, 0);
    r = Cli({"recover", log + ".qsln", "--to", (dir / "out").string(), "--all", "--ext", "zqx", "--image",
             Image("fat12"), "--no-system-disks", "--allow-same-device"});
    EXPECT_EQ(r.status, 3) << r.err;
}

TEST_F(CliUsageTest, WrongSourcesAndDestinationsAreNamedForWhatTheyAre) {
    auto r = Analyse(dir.string(), {}, (dir / "l").string());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is a folder"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("sector"), std::string::npos) << "nothing about bad sectors: " << r.err;

    const std::string image = Image("fat12"), log = (dir / "f").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    auto recover = [&](const fs::path& to) {
        return Cli({"recover", log + ".qsln", "--to", to.string(), "--all", "--image", image, "--no-system-disks",
                    "--allow-same-device"});
    };
    const fs::path file = dir / "a-file";
    std::ofstream(file) << "x";
    r = recover(file);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is a file, not a folder"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Please select Data Recovery path."), std::string::npos) << r.err;
    r = recover(file / "below");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot be made: " + file.string() + " is a file"), std::string::npos) << r.err;
    EXPECT_EQ(std::ifstream(file).get(), 'x') << "nothing is removed that is in the way";

    // Permissions, which only a user other than root meets.
    const fs::path secret = dir / "secret.img";
    fs::copy_file(image, secret);
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
    const auto denied = AsNobody({"analyse", secret.string(), "--no-system-disks", "--log", (dir / "n").string()});
    if (!denied) GTEST_SKIP() << "permissions are checked as root only (to run as another user)";
    EXPECT_EQ(denied->status, 2);
    EXPECT_NE(denied->err.find("permission denied"), std::string::npos) << denied->err;
    EXPECT_NE(denied->err.find("read access"), std::string::npos) << "and how to get it: " << denied->err;
    EXPECT_EQ(denied->err.find("no NTFS or FAT"), std::string::npos) << denied->err;

    const fs::path readOnly = dir / "read-only";
    fs::create_directories(readOnly);
    fs::permissions(dir / "f.qsln", fs::perms::all);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                  fs::perms::others_exec);
    const auto unwritable = AsNobody({"recover", log + ".qsln", "--to", (readOnly / "out").string(), "--all",
                                      "--image", image, "--no-system-disks", "--allow-same-device"});
    EXPECT_EQ(unwritable->status, 2);
    EXPECT_NE(unwritable->err.find("cannot be written"), std::string::npos) << unwritable->err;
    EXPECT_NE(unwritable->err.find("permission denied"), std::string::npos) << unwritable->err;
    EXPECT_FALSE(fs::exists(readOnly / "out"));
}

TEST_F(CliUsageTest, AnImageThatNoLongerHoldsTheLoggedVolumeIsRefusedWithTheReason) {
    // The log finds its disk by the image's file name: another image under
    // that name must not be read at the log's sectors.
    const fs::path image = dir / "volume.img";
    fs::copy_file(Image("fat16"), image);
    const std::string log = (dir / "v").string();
    ASSERT_EQ(Analyse(image.string(), {}, log).status, 0);
    const fs::path out = dir / "out";
    auto recover = [&] {
        return Cli({"recover", log + ".qsln", "--to", out.string(), "--all", "--image", image.string(),
                    "--no-system-disks", "--allow-same-device"});
    };
    fs::copy_file(Image("fat12"), image, fs::copy_options::overwrite_existing);
    auto r = recover();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not the volume the scan log"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sectors per cluster"), std::string::npos) << "which figure differs: " << r.err;
    EXPECT_FALSE(fs::exists(out)) << "nothing written";

    // A zeroed boot sector: no file system there at all.
    fs::copy_file(Image("fat16"), image, fs::copy_options::overwrite_existing);
    {
        std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
        f << std::string(512, '\0');
    }
    r = recover();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no usable FAT16 boot sector"), std::string::npos) << r.err;

    fs::copy_file(Image("fat16"), image, fs::copy_options::overwrite_existing);
    r = recover();
    EXPECT_EQ(r.status, 0) << "the same volume again: " << r.err;
}

TEST_F(CliUsageTest, TheReplacePromptOnATerminalNamesTheFileAndWhatEachAnswerDoes) {
    if (::access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "script(1) gives the binary a terminal";
    const std::string image = Image("fat12"), log = (dir / "f").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    const fs::path out = dir / "out";
    std::vector<std::string> args{"recover", log + ".qsln", "--to", out.string(), "--select", "Docs/Letters",
                                  "--image", image, "--no-system-disks", "--allow-same-device"};
    ASSERT_EQ(Cli(args).status, 0);
    // The second run meets every file again; "S" skips them all.
    std::string command = ShellQuoted(DRAVIK_CLI_PATH);
    for (const auto& a : args) command += " " + ShellQuoted(a);
    const fs::path answers = dir / "answers";
    std::ofstream(answers) << "S\n";
    const auto r = RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, "", "", answers.string());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("The destination already has this file."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find((out / "Docs" / "Letters").string()), std::string::npos) << "the file is named: " << r.out;
    for (const char* answer : {"y = Yes: replace", "s = Skip: keep the file there", "r = Rename: write",
                               "Do this for all related items"})
        EXPECT_NE(r.out.find(answer), std::string::npos) << answer << "\n" << r.out;
    const auto asked = r.out.find("The destination already has this file.");
    EXPECT_EQ(r.out.find("The destination already has this file.", asked + 1), std::string::npos)
        << "one answer for all";
    // The final message starts its own line, whatever the progress drew.
    const auto done = r.out.find("Saving completed successfully.");
    ASSERT_NE(done, std::string::npos) << r.out;
    const auto lineStart = r.out.find_last_of("\r\n", done);
    const std::string before = r.out.substr(lineStart == std::string::npos ? 0 : lineStart + 1, done - lineStart - 1);
    EXPECT_EQ(before.find('%'), std::string::npos) << "not on the tail of the progress line: " << before;
}

TEST_F(CliUsageTest, TheProgressLineIsThrottledEstimatesSanelyAndMakesRoomForTheLastMessage) {
    if (::access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "script(1) gives the binary a terminal";
    const std::string image = Image("fat16"), log = (dir / "f").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    std::string command = ShellQuoted(DRAVIK_CLI_PATH);
    const std::vector<std::string> args{"recover", log + ".qsln", "--to", (dir / "out").string(), "--all",
                                        "--image", image, "--no-system-disks", "--allow-same-device"};
    for (const auto& a : args) command += " " + ShellQuoted(a);
    // Slow reads make a run of a few seconds, with many chances to redraw.
    const auto start = std::chrono::steady_clock::now();
    const auto r = RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, "export DRAVIK_TEST_READ_DELAY_MS=8; ");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<std::string> lines;
    for (std::size_t at = r.out.find("\r\x1b[K"); at != std::string::npos;) {
        const auto next = r.out.find("\r\x1b[K", at + 1);
        const std::string line = r.out.substr(at + 4, next == std::string::npos ? std::string::npos : next - at - 4);
        if (line.find('%') != std::string::npos) lines.push_back(line);
        at = next;
    }
    ASSERT_GT(lines.size(), 3u) << r.out;
    EXPECT_LE(lines.size(), static_cast<std::size_t>(seconds * 10 + 4)) << "in " << seconds << " s";
    for (const auto& line : lines) {
        EXPECT_EQ(line.find("0 : 0 : 0"), std::string::npos) << line;
        if (line.rfind("100%", 0) != 0) {
            EXPECT_EQ(line.find("left 0:00:00"), std::string::npos) << line;
        }
    }
    // The save's line follows the one of loading the log.
    const auto copying = std::find_if(lines.begin(), lines.end(),
                                      [](const std::string& l) { return l.find(" left ") != std::string::npos; });
    ASSERT_NE(copying, lines.end()) << r.out;
    EXPECT_NE(copying->find("estimating"), std::string::npos) << "no guess before a measure: " << *copying;
    const auto done = r.out.find("Saving completed successfully.");
    ASSERT_NE(done, std::string::npos);
    const auto lineStart = r.out.find_last_of("\r\n", done);
    EXPECT_EQ(r.out.substr(lineStart + 1, done - lineStart - 1).find('%'), std::string::npos)
        << "the final message has a line of its own";
}

TEST_F(CliUsageTest, PathsWithALeadingSlashAndFilePathsAreAccepted) {
    const std::string image = Image("fat12"), log = (dir / "f").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    auto ls = Cli({"ls", log + ".qsln", "Docs/Letters", "--no-system-disks"});
    ASSERT_EQ(ls.status, 0) << ls.err;
    EXPECT_EQ(Cli({"ls", log + ".qsln", "/Docs/Letters", "--no-system-disks"}).out, ls.out)
        << "the body file's form of the same path";

    // A file path lists that file.
    auto json = Cli({"ls", log + ".qsln", "-r", "--json", "--no-system-disks"});
    std::string filePath;
    for (const auto& i : nlohmann::json::parse(json.out))
        if (i["kind"] == "file" && i["path"].get<std::string>().find('/') != std::string::npos) {
            filePath = i["path"];
            break;
        }
    ASSERT_FALSE(filePath.empty());
    const auto one = Cli({"ls", log + ".qsln", "/" + filePath, "--json", "--no-system-disks"});
    ASSERT_EQ(one.status, 0) << one.err;
    const auto listed = nlohmann::json::parse(one.out);
    ASSERT_EQ(listed.size(), 1u) << one.out;
    EXPECT_EQ(listed[0]["path"], filePath);
    EXPECT_EQ(Cli({"ls", log + ".qsln", "/No/Such/Thing", "--no-system-disks"}).status, 2);

    const fs::path out = dir / "out";
    auto r = Cli({"recover", log + ".qsln", "--to", out.string(), "--select", "/" + filePath, "--select",
                  "/Docs/Letters/", "--image", image, "--no-system-disks", "--allow-same-device"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(out / filePath));
    EXPECT_TRUE(fs::is_directory(out / "Docs" / "Letters"));

    const auto search = Cli({"search", log + ".qsln", "/" + filePath.substr(filePath.rfind('/') + 1),
                             "--no-system-disks"});
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_NE(search.out.find(filePath), std::string::npos) << search.out;
}

TEST_F(CliUsageTest, APartitionSearchWithoutTypeFindsEveryVolumeAndListsThemAsDisksDoes) {
    const std::string image = Image("disk-zeroed");
    auto r = Cli({"analyse", image, "--mode", "partition", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Both volumes of the disk, with the ranges its table had (kept in the
    // layout file of the image), one numbering across the types.
    EXPECT_NE(r.out.find("1: NTFS  Start Sector 2048  End Sector 34816"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2: FAT32  Start Sector 34816  End Sector 108544"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MiB"), std::string::npos);
    EXPECT_NE(r.out.find("--volume"), std::string::npos) << "says how to go on: " << r.out;

    const std::string log = (dir / "fat").string();
    r = Cli({"analyse", image, "--mode", "partition", "--volume", "2", "--no-system-disks", "--log", log});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir / "out";
    r = Cli({"recover", log + ".qsln", "--to", out.string(), "--all", "--image", image, "--no-system-disks",
             "--allow-same-device"});
    EXPECT_EQ(r.status, 0) << r.err;
    int exact = 0, live = 0;
    for (const auto& row : ReadManifest(ManifestPath("disk-zeroed.p2.manifest.tsv")))
        if (row.IsFile() && row.state == "live") {
            ++live;
            exact += Md5::OfFile(out / row.path) == row.md5;
        }
    EXPECT_GT(live, 0);
    EXPECT_EQ(exact, live) << "the second volume of the one numbering is the FAT32 one";
    EXPECT_EQ(Cli({"analyse", image, "--mode", "partition", "--volume", "3", "--no-system-disks", "--log", log})
                  .status,
              2);
}

TEST_F(CliUsageTest, APartitionSearchFindsAFat12VolumeAndRecoversItByteExact) {
    const std::string image = Image("fat12"), log = (dir / "found").string();
    auto r = Cli({"analyse", image, "--mode", "partition", "--no-system-disks"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1: FAT12  Start Sector 0  End Sector 2880"), std::string::npos) << r.out;
    r = Cli({"analyse", image, "--mode", "partition", "--volume", "1", "--no-system-disks", "--log", log});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir / "out";
    r = Cli({"recover", log + ".qsln", "--to", out.string(), "--all", "--image", image, "--no-system-disks",
             "--allow-same-device"});
    EXPECT_EQ(r.status, 0) << r.err;
    int exact = 0, live = 0;
    for (const auto& row : ReadManifest(ManifestPath("fat12.manifest.tsv")))
        if (row.IsFile() && row.state == "live") {
            ++live;
            exact += Md5::OfFile(out / row.path) == row.md5;
        }
    EXPECT_GT(live, 10);
    EXPECT_EQ(exact, live) << "read with 12-bit FAT entries";
}

TEST_F(CliUsageTest, AFatVolumeLabelIsNoFile) {
    for (const char* name : {"fat12", "fat16", "fat32"}) {
        SCOPED_TRACE(name);
        const std::string log = (dir / name).string();
        ASSERT_EQ(Analyse(Image(name), {}, log).status, 0);
        const auto r = Cli({"ls", log + ".qsln", "--json", "--no-system-disks"});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const auto& i : nlohmann::json::parse(r.out)) {
            const auto path = i["path"].get<std::string>();
            EXPECT_EQ(path.find("FLOPPY12"), std::string::npos);
            EXPECT_EQ(path.find("VOLUME16"), std::string::npos);
            EXPECT_EQ(path.find("VOLUME32"), std::string::npos);
        }
    }
}

TEST_F(CliUsageTest, TheReportCarriesTheHashOfWhatWasWritten) {
    // Hashed while written, in one piece or many; a file skipped at a
    // conflict has no hash (its bytes were not written).
    const std::string image = Image("fat16"), log = (dir / "f").string();
    ASSERT_EQ(Analyse(image, {}, log).status, 0);
    const fs::path out = dir / "out", report = dir / "report.json";
    auto recover = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"recover", log + ".qsln", "--to", out.string(), "--all", "--report",
                                      report.string(), "--image", image, "--no-system-disks", "--allow-same-device"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    };
    auto r = recover({});
    ASSERT_LE(r.status, 1) << r.err;
    int hashed = 0, large = 0;
    for (const auto& e : nlohmann::json::parse(std::ifstream(report))) {
        if (e["md5"].is_null()) continue;
        ++hashed;
        large += e["size"].get<std::uint64_t>() > 64 * 1024;
        EXPECT_EQ(e["md5"], Md5::OfFile(e["destination"].get<std::string>())) << e.dump();
    }
    EXPECT_GT(hashed, 20);
    EXPECT_GT(large, 0) << "files of many pieces too";
    r = recover({"--on-conflict", "skip"});
    ASSERT_EQ(r.status, 0) << r.err;
    int skipped = 0;
    for (const auto& e : nlohmann::json::parse(std::ifstream(report)))
        if (e["outcome"] == "skipped at conflict") {
            ++skipped;
            EXPECT_TRUE(e["md5"].is_null()) << e.dump();
        }
    EXPECT_GT(skipped, 20);
}

TEST_F(CliUsageTest, DisksNameBinaryUnits) {
    const auto r = Cli({"disks", "--no-system-disks", "--image", Image("disk-mbr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Partition Size   : 16.0 MiB"), std::string::npos) << r.out;
    EXPECT_EQ(std::regex_search(r.out, std::regex("[0-9] [KMGT]B\\b")), false) << r.out;
}

}  // namespace
}  // namespace dravik::test

#endif
