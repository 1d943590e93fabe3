// Signals during long commands, through the binary on a slowed source: a
// recovery ends after the piece in hand, keeps no short file under its final
// name, writes its report and exits 128 + the signal; a search keeps and
// lists what it found, says it is partial, and exits the same way.
#include <gtest/gtest.h>

#ifdef DRAVIK_CLI_PATH

#include <csignal>
#include <fstream>

#include <nlohmann/json.hpp>

#include "support/cli_process.h"
#include "support/test_images.h"

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Interrupt : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("dravik-interrupt-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // True once a file of the run is being written (its temporary name is
    // there), false after `limit`.
    static bool WaitForPartial(const fs::path& root, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            std::error_code ec;
            if (fs::exists(root, ec))
                for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
                     it.increment(ec))
                    if (it->path().filename().string().rfind(".dravik-partial-", 0) == 0) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    static std::vector<fs::path> Files(const fs::path& root) {
        std::vector<fs::path> out;
        if (!fs::exists(root)) return out;
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (e.is_regular_file()) out.push_back(e.path());
        return out;
    }
};

TEST_F(Interrupt, ARecoveryEndsCleanlyOnTermHangupAndIntWithoutATerminal) {
    const std::string image = ImagePath("ntfs-basic.img").string(), log = (dir / "log").string();
    ASSERT_EQ(RunCli(DRAVIK_CLI_PATH, {"analyse", image, "--no-system-disks", "--log", log}).status, 0);
    for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(sig);
        const fs::path to = dir / ("to-" + std::to_string(sig));
        const fs::path report = dir / ("report-" + std::to_string(sig) + ".json");
        // 373 fragments, one slowed read each: seconds of work.
        CliProcess p(DRAVIK_CLI_PATH,
                     {"recover", log + ".qsln", "--no-system-disks", "--image", image, "--select",
                      "Fragmented/attrlist live.bin", "--to", to.string(), "--allow-same-device", "--report",
                      report.string()},
                     {{"DRAVIK_TEST_READ_DELAY_MS", "20"}});
        ASSERT_TRUE(WaitForPartial(to, 60s)) << "the file was never started";
        p.Signal(sig);
        const auto r = p.Wait();
        EXPECT_EQ(r.status, 128 + sig) << r.err;
        EXPECT_NE(r.err.find("stopped by a signal"), std::string::npos) << r.err;
        EXPECT_TRUE(Files(to).empty()) << "neither the short file nor its temporary is left";
        std::ifstream in(report);
        ASSERT_TRUE(in) << "the report is written";
        const auto json = nlohmann::json::parse(in);
        ASSERT_EQ(json.size(), 1u);
        EXPECT_EQ(json[0]["outcome"], "incomplete");
        EXPECT_TRUE(json[0]["md5"].is_null());
    }
}

TEST_F(Interrupt, AStoppedSearchIsMarkedPartialInItsOutputAndStatus) {
    const std::string image = ImagePath("disk-mbr.img").string(), log = (dir / "found").string();
    CliProcess p(DRAVIK_CLI_PATH, {"analyse", image, "--no-system-disks", "--mode", "partition", "--fs", "NTFS", "--log", log},
                 {{"DRAVIK_TEST_READ_DELAY_MS", "20"}});
    std::this_thread::sleep_for(1500ms);
    p.Signal(SIGTERM);
    const auto r = p.Wait();
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
    EXPECT_NE(r.out.find("partial: the search was stopped before the end of its range"), std::string::npos) << r.out;

    // Run to its end, the same search is not partial.
    const auto whole = RunCli(DRAVIK_CLI_PATH,
                              {"analyse", image, "--no-system-disks", "--mode", "partition", "--fs", "NTFS", "--log", log});
    EXPECT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(whole.out.find("partial"), std::string::npos);
}

}  // namespace
}  // namespace dravik::test

#endif
