// Ctrl-C during a recovery on a terminal: the question is asked while the
// run is held between two pieces; No lets it finish whole, Yes ends it with
// "Saving aborted." and leaves no short file behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "support/cli_run.h"
#include "support/manifest.h"
#include "support/md5.h"
#include "support/test_images.h"

#ifdef DRAVIK_CLI_PATH

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

class RecoverQuestion : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("dravik-question-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Recovers the file on a slowed source with a terminal on stdin, sends
    // SIGINT once the file is being written and answers `answer`.
    CliResult Interrupted(const fs::path& log, const fs::path& out, const std::string& answer) {
        const std::string image = ImagePath("ntfs-basic.img").string();
        std::string cli = "DRAVIK_TEST_READ_DELAY_MS=5 " + ShellQuoted(DRAVIK_CLI_PATH);
        const std::vector<std::string> args{"recover",  log.string(), "--no-system-disks", "--image",
                                            image,      "--select",   "Fragmented/attrlist live.bin",
                                            "--to",     out.string(), "--allow-same-device"};
        for (const auto& a : args) cli += " " + ShellQuoted(a);
        const std::string folder = ShellQuoted((out / "Fragmented").string());
        // The background job reads the terminal itself; the loop waits for
        // the file's temporary name, so the signal comes mid-file.
        const std::string script = cli + " </dev/tty & p=$!; n=0; until ls -A " + folder +
                                   " 2>/dev/null | grep -q dravik-partial || [ $n -gt 3000 ]; do sleep 0.01; "
                                   "n=$((n+1)); done; kill -INT $p; wait $p; echo \"status=$?\"";
        const fs::path answers = dir / "answers";
        std::ofstream(answers) << answer << "\n";
        return RunProgram("/usr/bin/script", {"-qec", script, "/dev/null"}, "", "", answers.string());
    }
};

TEST_F(RecoverQuestion, NoLetsTheRunFinishAndYesEndsItWithoutAShortFile) {
    if (::access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "script(1) gives the binary a terminal";
    const std::string image = ImagePath("ntfs-basic.img").string();
    const fs::path log = dir / "log";
    ASSERT_EQ(RunProgram(DRAVIK_CLI_PATH, {"analyse", image, "--no-system-disks", "--log", log.string()}).status, 0);
    std::string md5;
    for (const auto& row : ReadManifest(ManifestPath("ntfs-basic.manifest.tsv")))
        if (row.path == "Fragmented/attrlist live.bin") md5 = row.md5;
    ASSERT_FALSE(md5.empty());

    const fs::path kept = dir / "kept";
    const auto no = Interrupted(fs::path(log.string() + ".qsln"), kept, "n");
    EXPECT_NE(no.out.find("Do you want to stop this process. This may give you incomplete data."), std::string::npos)
        << no.out;
    EXPECT_NE(no.out.find("Saving completed successfully."), std::string::npos) << no.out;
    EXPECT_NE(no.out.find("status=0"), std::string::npos) << no.out;
    EXPECT_EQ(Md5::OfFile(kept / "Fragmented" / "attrlist live.bin"), md5) << "the run went on to the end";

    const fs::path ended = dir / "ended";
    const auto yes = Interrupted(fs::path(log.string() + ".qsln"), ended, "y");
    EXPECT_NE(yes.out.find("Do you want to stop this process."), std::string::npos) << yes.out;
    EXPECT_NE(yes.out.find("Saving aborted."), std::string::npos) << yes.out;
    EXPECT_EQ(yes.out.find("Saving completed successfully."), std::string::npos) << yes.out;
    EXPECT_EQ(yes.out.find("Saving not completed successfully."), std::string::npos) << "no closing message";
    EXPECT_NE(yes.out.find("status=1"), std::string::npos) << yes.out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(ended, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        EXPECT_FALSE(it->is_regular_file()) << it->path() << ": neither the short file nor its temporary stays";
}

}  // namespace
}  // namespace dravik::test

#endif
