// ls --bodyfile through the binary against The Sleuth Kit's fls -m on the
// same images: for every file, folder and stream of the manifest that fls
// lists at its path, the same lines (name, inode, mode, size and the four times),
// the $FILE_NAME line included; one line each without the source.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/manifest.h"
#include "support/test_images.h"

#ifdef DRAVIK_CLI_PATH

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

using Body = std::map<std::string, std::vector<std::string>>;  // by name, the eleven fields

Body ParseBody(const std::string& text, int* lines = nullptr) {
    Body body;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::istringstream f(line);
        for (std::string field; std::getline(f, field, '|');) fields.push_back(field);
        if (line.back() == '|') fields.emplace_back();
        EXPECT_EQ(fields.size(), 11u) << line;
        if (fields.size() != 11) continue;
        body[fields[1]] = fields;
        if (lines) ++*lines;
    }
    return body;
}

bool FlsOnPath() { return RunProgram("/bin/sh", {"-c", "command -v fls"}).status == 0; }

class CliBodyfileTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("dravik-body-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Analyses `image` in `mode` and lists it as a body file, with the image
    // attached unless `attached` is false.
    std::string Bodyfile(const std::string& image, const std::string& mode, bool attached = true) {
        const std::string log = (dir / "log").string();
        auto r = RunProgram(DRAVIK_CLI_PATH, {"analyse", image, "--no-system-disks", "--mode", mode, "--log", log});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> args{"ls", log + ".qsln", "-r", "--bodyfile", "--no-system-disks"};
        if (attached) args.insert(args.end(), {"--image", image});
        r = RunProgram(DRAVIK_CLI_PATH, args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }

    // Compares the lines of every manifest file, folder and stream that fls
    // lists at its path; returns how many lines were compared.
    int CompareWithFls(const std::string& name, const std::string& mode) {
        const std::string image = ImagePath(name + ".img").string();
        const auto fls = RunProgram("fls", {"-m", "/", "-r", image});
        EXPECT_EQ(fls.status, 0) << fls.err;
        const Body theirs = ParseBody(fls.out);
        const Body ours = ParseBody(Bodyfile(image, mode));
        int compared = 0, fileNames = 0;
        // Fields 4 and 5 are uid and gid: fls reads the former from bytes
        // past a version 1.2 $STANDARD_INFORMATION.
        // An attribute in an extension record carries instance 0 as ntfs-3g
        // writes it; fls numbers those its own way. Of files with an
        // attribute list the inode is compared up to its type.
        auto inode = [](const std::string& field, bool whole) {
            return whole ? field : field.substr(0, field.rfind('-'));
        };
        // A folder whose index root went to an extension record is named by
        // its record alone, and its size is unknown (fls follows the list).
        auto same = [&](const std::string& key, bool attrlist, bool movedRoot = false) {
            const auto t = theirs.find(key);
            const auto o = ours.find(key);
            if (t == theirs.end()) {
                EXPECT_EQ(o, ours.end()) << "a line fls does not print: " << key;
                return;
            }
            ASSERT_NE(o, ours.end()) << key;
            if (!movedRoot) {
                EXPECT_EQ(inode(o->second[2], !attrlist), inode(t->second[2], !attrlist)) << key;
                EXPECT_EQ(o->second[6], t->second[6]) << key << " size";
            }
            for (std::size_t i : {0u, 3u, 7u, 8u, 9u, 10u})
                EXPECT_EQ(o->second[i], t->second[i]) << key << " field " << i;
            ++compared;
        };
        const auto rows = ReadManifest(ManifestPath(name + ".manifest.tsv"));
        std::set<std::string> folders;
        for (const auto& row : rows)
            if (row.IsDir()) folders.insert(row.path);
        for (const auto& row : rows) {
            if (row.state == "reused") continue;
            // A folder's streams are no items of ours.
            if (!row.IsFile() && folders.count(row.path.substr(0, row.path.rfind(':')))) continue;
            const std::string gone = row.state == "deleted" ? " (deleted)" : "";
            const std::string key = "/" + row.path + gone;
            // Deleted files that fls lists elsewhere (orphans, reused
            // parents) are not compared.
            if (!theirs.count(key)) continue;
            same(key, row.attrlist, row.IsDir() && row.attrlist);
            if (row.IsFile() || row.IsDir()) {
                const std::string fn = "/" + row.path + " ($FILE_NAME)" + gone;
                fileNames += theirs.count(fn) > 0;
                same(fn, row.attrlist);
            } else {
                EXPECT_FALSE(ours.count("/" + row.path + " ($FILE_NAME)" + gone)) << "a stream has no name of its own";
            }
        }
        EXPECT_GT(fileNames, 0);
        return compared;
    }
};

TEST_F(CliBodyfileTest, NtfsLinesMatchFlsForLiveAndDeletedFilesAndStreams) {
    if (!FlsOnPath()) GTEST_SKIP() << "fls (The Sleuth Kit) is not on PATH";
    // Items of a $MFT walk are found again by number, those of the
    // signature scan by their record's sector.
    EXPECT_GE(CompareWithFls("ntfs-streams", "deleted"), 25);
    EXPECT_GE(CompareWithFls("ntfs-streams", "formatted"), 25);
    // 3,786 live files and 23 live folders, most with a $FILE_NAME line (not
    // those whose name is in an extension record), 3 streams and 16 deleted
    // files at their path: 7,599 lines.
    EXPECT_GE(CompareWithFls("ntfs-basic", "deleted"), 7500);
}

TEST_F(CliBodyfileTest, WithoutTheSourceOrOnFatEachItemHasOneLineWithoutChangeTime) {
    for (const auto& [name, attached] : {std::pair{"ntfs-streams", false}, std::pair{"fat16", true}}) {
        SCOPED_TRACE(name);
        int lines = 0;
        const Body body = ParseBody(Bodyfile(ImagePath(std::string(name) + ".img").string(), "deleted", attached), &lines);
        EXPECT_GT(lines, 10);
        EXPECT_EQ(body.size(), std::size_t(lines)) << "no item twice";
        int deleted = 0;
        for (const auto& [key, fields] : body) {
            EXPECT_EQ(key.find("($FILE_NAME)"), std::string::npos) << key;
            // A deleted FAT entry still tells a folder from a file, as fls
            // shows it; NTFS's deleted index entry is gone.
            if (key.size() > 10 && key.substr(key.size() - 10) == " (deleted)") {
                ++deleted;
                EXPECT_EQ(fields[3][0], std::string(name) == "fat16" ? fields[3][2] : '-') << key;
            }
            EXPECT_EQ(fields[9], "0") << key;
            EXPECT_EQ(fields[2].find('-'), std::string::npos) << "the item's number alone: " << key;
        }
        EXPECT_GT(deleted, 3);
    }
}

}  // namespace
}  // namespace dravik::test

#endif  // DRAVIK_CLI_PATH
