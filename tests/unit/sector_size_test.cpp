// The sector size of a source: what an image file's GPT implies, the user's
// --sector-size, and a disk of 4096-byte sectors recovered through the
// command line in deleted and partition mode against its manifest.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "drives/drive_catalogue.h"
#include "support/manifest.h"
#include "support/md5.h"
#include "support/test_images.h"

namespace dravik::drives {
namespace {

using namespace source;

namespace fs = std::filesystem;

// A scratch image of `size` zero bytes with "EFI PART" written at each of
// `headers`.
class ScratchImage {
public:
    ScratchImage(std::uint64_t size, std::initializer_list<std::uint64_t> headers) {
        path = fs::temp_directory_path() / ("dravik-sectors-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(next_++) + ".img");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.seekp(static_cast<std::streamoff>(size - 1));
        out.put('\0');
        for (std::uint64_t at : headers) {
            out.seekp(static_cast<std::streamoff>(at));
            out.write("EFI PART", 8);
        }
    }
    ~ScratchImage() {
        std::error_code ec;
        fs::remove(path, ec);
    }
    std::uint32_t FromTable(std::uint64_t offset = 0) const {
        auto file = platform::PosixFile::OpenReadOnly(path.string());
        return file ? SectorSizeFromTable(*file, offset) : 99;
    }
    fs::path path;

private:
    static inline int next_ = 0;
};

TEST(SectorSize, ValidSizesArePowersOfTwoFrom512To4096) {
    for (std::uint64_t ok : {512u, 1024u, 2048u, 4096u}) EXPECT_TRUE(ValidSectorSize(ok)) << ok;
    for (std::uint64_t bad : {0u, 1u, 256u, 511u, 513u, 1536u, 3000u, 4095u, 8192u, 65536u})
        EXPECT_FALSE(ValidSectorSize(bad)) << bad;
    EXPECT_FALSE(ValidSectorSize(std::uint64_t(1) << 40));
}

TEST(SectorSize, AGptHeaderAtTheSecondSectorTellsTheSize) {
    EXPECT_EQ(ScratchImage(1 << 20, {4096}).FromTable(), 4096u);
    EXPECT_EQ(ScratchImage(1 << 20, {2048}).FromTable(), 2048u);
    EXPECT_EQ(ScratchImage(1 << 20, {1024}).FromTable(), 1024u);
    // A header at byte 512 is a disk of 512-byte sectors: the table says
    // nothing more than the default.
    EXPECT_EQ(ScratchImage(1 << 20, {512}).FromTable(), 0u);
    EXPECT_EQ(ScratchImage(1 << 20, {512, 4096}).FromTable(), 0u);
    EXPECT_EQ(ScratchImage(1 << 20, {}).FromTable(), 0u);
    EXPECT_EQ(ScratchImage(1 << 20, {3072}).FromTable(), 0u) << "not a sector size";
    // An image too short for a second sector, and a disk that starts inside
    // a larger file.
    EXPECT_EQ(ScratchImage(600, {}).FromTable(), 0u);
    EXPECT_EQ(ScratchImage(1 << 20, {65536 + 4096}).FromTable(65536), 4096u);
    EXPECT_EQ(ScratchImage(1 << 20, {4096}).FromTable(65536), 0u);
}

TEST(SectorSize, AnImageTakesTheUsersSizeElseItsTablesElse512) {
    ScratchImage gpt4k(4 << 20, {4096});
    ScratchImage plain(4 << 20, {});
    platform::SystemPaths paths;
    auto geometry = [&](const fs::path& p, std::uint32_t given) {
        CatalogueDisk disk;
        disk.backing = {p.string(), 0, 0};
        disk.attached = true;
        auto g = QueryDriveGeometry(paths, disk, given);
        return g ? g->bytesPerSector : 0;
    };
    EXPECT_EQ(geometry(gpt4k.path, 0), 4096u);
    EXPECT_EQ(geometry(plain.path, 0), 512u);
    EXPECT_EQ(geometry(plain.path, 4096), 4096u);
    EXPECT_EQ(geometry(gpt4k.path, 512), 512u) << "the user's word over the table's";
    EXPECT_EQ(geometry(plain.path, 3000), 512u) << "an invalid size is not taken";
}

}  // namespace
}  // namespace dravik::drives

#ifdef DRAVIK_CLI_PATH

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out, err;
};

Result Cli(const std::vector<std::string>& args) {
    const fs::path errFile = fs::temp_directory_path() / ("dravik-sectors-err-" + std::to_string(::getpid()));
    std::string command = std::string("exec '") + DRAVIK_CLI_PATH + "'";
    for (const auto& a : args) command += " '" + a + "'";
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

class FourKDisk : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("dravik-4kdisk-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string image = ImagePath("disk-4k.img").string();
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    Result Recover(const std::string& log, const fs::path& out, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"recover", log, "--to", out.string(), "--all", "--image", image,
                                      "--no-system-disks", "--allow-same-device"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    }
    // Manifest files (and streams) of the partition byte-exact below `out`.
    int Exact(const fs::path& out, bool deletedToo, int& expected) {
        int exact = 0;
        expected = 0;
        for (const auto& row : ReadManifest(ManifestPath("disk-4k.p1.manifest.tsv"))) {
            if (row.IsDir() || (!deletedToo && row.state != "live")) continue;
            ++expected;
            const bool same = fs::exists(out / row.path) && Md5::OfFile(out / row.path) == row.md5;
            if (!same) ADD_FAILURE() << row.path << " not byte-exact";
            exact += same;
        }
        return exact;
    }
};

TEST_F(FourKDisk, DeletedModeGivesEveryManifestFileByteExact) {
    const std::string log = (dir / "deleted").string();
    auto r = Cli({"analyse", image, "--no-system-disks", "--log", log});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Recover(log + ".qsln", dir / "out");
    ASSERT_EQ(r.status, 0) << r.err;
    int expected = 0;
    const int exact = Exact(dir / "out", true, expected);
    std::printf("disk-4k deleted mode: %d of %d manifest files and streams byte-exact\n", exact, expected);
    EXPECT_GE(expected, 10);
}

TEST_F(FourKDisk, PartitionModeFindsTheVolumeAndGivesItsFilesByteExact) {
    const std::string log = (dir / "found").string();
    auto r = Cli({"analyse", image, "--no-system-disks", "--mode", "partition", "--fs", "NTFS", "--volume", "1",
                  "--log", log});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Recover(log + ".qsln", dir / "out");
    ASSERT_EQ(r.status, 0) << r.err;
    int expected = 0;
    const int exact = Exact(dir / "out", true, expected);
    std::printf("disk-4k partition mode: %d of %d manifest files and streams byte-exact\n", exact, expected);
}

TEST_F(FourKDisk, TheSectorSizeOptionIsCheckedAndOverridesTheTable) {
    for (const char* bad : {"0", "256", "3000", "8192", "x"}) {
        const auto r = Cli({"disks", "--no-system-disks", "--image", image, "--sector-size", bad});
        EXPECT_EQ(r.status, 2) << bad << ": " << r.err;
    }
    auto r = Cli({"disks", "--no-system-disks", "--image", image});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Partition - 1 ( NTFS )"), std::string::npos) << r.out;
    // Read in 512-byte sectors the GPT is not where it is looked for: the
    // disk shows no partition of its own.
    r = Cli({"disks", "--no-system-disks", "--image", image, "--sector-size", "512"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Partition - 1 ( NTFS )"), std::string::npos) << r.out;
    r = Cli({"analyse", image, "--no-system-disks", "--sector-size", "512", "--log", (dir / "x").string()});
    EXPECT_NE(r.status, 0) << r.out;
    r = Cli({"analyse", image, "--no-system-disks", "--sector-size", "4096", "--log", (dir / "y").string()});
    EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
}  // namespace dravik::test

#endif
