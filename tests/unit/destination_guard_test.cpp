// The refusal of a destination on what is being recovered: an image's own
// file system, the source disk and its partitions (also behind a FUSE mount
// or a device-mapper volume), a file system mounted from the image itself;
// and the command line's exit status and its --allow-same-device.
#include "saving/destination_guard.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "app/app_context.h"
#include "support/scripted_prompter.h"
#include "support/test_images.h"

namespace dravik::saving {
namespace {

namespace fs = std::filesystem;

dev_t DeviceOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_dev : 0;
}

std::string Numbers(dev_t d) { return std::to_string(major(d)) + ":" + std::to_string(minor(d)); }

// A folder of its own below `parent`, removed at the end.
class Scratch {
public:
    explicit Scratch(const fs::path& parent)
        : path_(parent / ("dravik-guard-" + std::to_string(::getpid()) + "-" + std::to_string(next_++))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    static inline int next_ = 0;
    fs::path path_;
};

// A file system other than the one the test images lie on, or empty.
fs::path OtherFileSystem() {
    const dev_t images = DeviceOf(test::ImagePath("fat16.img"));
    for (const char* p : {"/dev/shm", "/run", "/tmp"})
        if (fs::is_directory(p) && ::access(p, W_OK) == 0 && DeviceOf(p) != images) return p;
    return {};
}

class DestinationGuardTest : public ::testing::Test {
protected:
    void Source(const std::string& path) {
        ctx.devices.SetDisk(0, {path});
        ctx.source.SelectPhysicalDisk(0);
    }
    std::string Refusal(const fs::path& destination) { return DestinationOnSource(ctx, destination, paths); }

    test::ScriptedPrompter prompter;
    app::AppContext ctx{prompter};
    platform::SystemPaths paths;
    std::string image = test::ImagePath("fat16.img").string();
};

TEST_F(DestinationGuardTest, AnImageSourceRefusesAFolderHoldingItAndAcceptsItsNeighbours) {
    Source(image);
    // The image's own folder, and the folders above it, may have it replaced.
    const fs::path beside = fs::path(image).parent_path();
    const std::string refused = Refusal(beside);
    EXPECT_NE(refused.find("holds the image being recovered"), std::string::npos) << refused;
    EXPECT_NE(refused.find(image), std::string::npos);
    EXPECT_NE(refused.find("overwrite"), std::string::npos);
    EXPECT_FALSE(Refusal(beside.parent_path()).empty());
    EXPECT_FALSE(Refusal(fs::relative(beside)).empty()) << "relative paths are made absolute";
    // A folder next to it, existing or not, cannot touch the image's bytes.
    EXPECT_EQ(Refusal(beside / "saved" / "a" / "b"), "");
    EXPECT_FALSE(fs::exists(beside / "saved")) << "the check creates nothing";

    const fs::path other = OtherFileSystem();
    if (other.empty()) GTEST_SKIP() << "no second file system here";
    EXPECT_EQ(Refusal(other / "not-yet" / "there"), "");
    EXPECT_EQ(Refusal(other), "");
}

TEST_F(DestinationGuardTest, NothingToCompareIsNotRefused) {
    EXPECT_EQ(Refusal("/tmp"), "") << "no disk behind the current source";
    Source(image);
    EXPECT_EQ(Refusal(""), "");
    Source("/nonexistent/disk.img");
    EXPECT_EQ(Refusal("/tmp"), "");
}

TEST_F(DestinationGuardTest, AFileSystemMountedFromTheImageIsRefused) {
    const fs::path other = OtherFileSystem();
    if (other.empty()) GTEST_SKIP() << "no second file system here";
    Source(image);
    ASSERT_EQ(Refusal(other), "");
    Scratch fake(fs::temp_directory_path());
    paths.mountInfo = fake.path() / "mountinfo";
    paths.sysfs = fake.path() / "sys";

    // ntfs-3g and other FUSE drivers name the image in mountinfo.
    std::ofstream(paths.mountInfo) << "36 25 " << Numbers(DeviceOf(other)) << " / " << other.string()
                                   << " rw,relatime shared:5 - fuseblk " << image << " rw\n";
    std::string refused = Refusal(other / "x");
    EXPECT_NE(refused.find("inside the image being recovered"), std::string::npos) << refused;

    // A loop device says which file backs it.
    std::ofstream(paths.mountInfo) << "36 25 " << Numbers(DeviceOf(other)) << " / " << other.string()
                                   << " rw - tmpfs tmpfs rw\n";
    EXPECT_EQ(Refusal(other), "");
    const fs::path loop = paths.sysfs / "devices/virtual/block/loop7";
    fs::create_directories(loop / "loop");
    fs::create_directories(paths.sysfs / "dev/block");
    fs::create_symlink(loop, paths.sysfs / "dev/block" / Numbers(DeviceOf(other)));
    std::ofstream(loop / "dev") << Numbers(DeviceOf(other)) << "\n";
    std::ofstream(loop / "loop/backing_file") << image << "\n";
    refused = Refusal(other);
    EXPECT_NE(refused.find("inside the image being recovered"), std::string::npos) << refused;
}

// A fake sysfs: disk sda (8:0) with partitions sda1 (8:1) and sda2 (8:2),
// disk sdb (8:16) with sdb1 (8:17), dm-0 (253:0) built on sda2 and dm-1
// (253:1) on dm-0.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        paths.sysfs = scratch.path();
        Disk("sda", 8, 0, {{"sda1", 1}, {"sda2", 2}});
        Disk("sdb", 8, 16, {{"sdb1", 17}});
        Mapper("dm-0", 0, scratch.path() / "devices/pci0/block/sda/sda2");
        Mapper("dm-1", 1, "../../dm-0");
    }
    fs::path Block(const fs::path& dir, unsigned maj, unsigned min) {
        fs::create_directories(dir);
        std::ofstream(dir / "dev") << maj << ":" << min << "\n";
        fs::create_directories(scratch.path() / "dev/block");
        fs::create_symlink(fs::relative(dir, scratch.path() / "dev/block"),
                           scratch.path() / "dev/block" / (std::to_string(maj) + ":" + std::to_string(min)));
        return dir;
    }
    void Disk(const std::string& name, unsigned maj, unsigned min,
              std::vector<std::pair<std::string, unsigned>> parts) {
        const fs::path disk = Block(scratch.path() / "devices/pci0/block" / name, maj, min);
        fs::create_directories(disk / "queue");  // not a partition
        for (const auto& [part, pmin] : parts) std::ofstream(Block(disk / part, maj, pmin) / "partition") << "1\n";
    }
    void Mapper(const std::string& name, unsigned min, const fs::path& slave) {
        const fs::path dm = Block(scratch.path() / "devices/virtual/block" / name, 253, min);
        fs::create_directories(dm / "slaves");
        fs::create_symlink(slave, dm / "slaves" / slave.filename());
    }

    Scratch scratch{fs::temp_directory_path()};
    platform::SystemPaths paths;
};

TEST_F(FakeSysfs, APartitionAndItsDiskShareEveryPartitionOfThatDisk) {
    const std::vector<dev_t> sda{makedev(8, 0), makedev(8, 1), makedev(8, 2)};
    EXPECT_EQ(DevicesOfSameDisk(makedev(8, 2), paths), sda);
    EXPECT_EQ(DevicesOfSameDisk(makedev(8, 0), paths), sda);
    EXPECT_EQ(DevicesOfSameDisk(makedev(8, 17), paths), (std::vector<dev_t>{makedev(8, 16), makedev(8, 17)}));
    EXPECT_EQ(DevicesOfSameDisk(makedev(9, 9), paths), std::vector<dev_t>{makedev(9, 9)}) << "unknown to sysfs";
}

TEST_F(FakeSysfs, AStackedVolumeStandsOnWhatItIsBuiltOn) {
    EXPECT_EQ(DevicesBelow(makedev(253, 1), paths),
              (std::vector<dev_t>{makedev(8, 2), makedev(253, 0), makedev(253, 1)}));
    EXPECT_EQ(DevicesBelow(makedev(8, 1), paths), std::vector<dev_t>{makedev(8, 1)});
    // A cycle in the slaves ends.
    fs::create_symlink("../../dm-1", scratch.path() / "devices/virtual/block/dm-0/slaves/dm-1");
    EXPECT_EQ(DevicesBelow(makedev(253, 0), paths).size(), 3u);
}

// The block device node of the file system `p` lies on, or empty (an
// overlay or tmpfs has none).
std::string BlockDeviceHolding(const fs::path& p) {
    std::ifstream uevent("/sys/dev/block/" + Numbers(DeviceOf(p)) + "/uevent");
    for (std::string line; std::getline(uevent, line);)
        if (line.rfind("DEVNAME=", 0) == 0) {
            const std::string node = "/dev/" + line.substr(8);
            struct stat st {};
            if (::stat(node.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return node;
        }
    return {};
}

TEST_F(DestinationGuardTest, ABlockDeviceSourceRefusesItsFileSystemsAlsoThroughAFuseMount) {
    const fs::path here = fs::temp_directory_path();
    const std::string device = BlockDeviceHolding(here);
    if (device.empty()) GTEST_SKIP() << "the temporary folder is on no block device";
    Source(device);
    const std::string refused = Refusal(here / "out");
    EXPECT_NE(refused.find("on the disk being recovered (" + device + ")"), std::string::npos) << refused;

    const fs::path other = OtherFileSystem();
    if (other.empty() || DeviceOf(other) == DeviceOf(here)) GTEST_SKIP() << "no second file system here";
    EXPECT_EQ(Refusal(other), "");
    // The same device mounted there by a FUSE driver (its own number, the
    // device named in mountinfo).
    Scratch fake(here);
    paths.mountInfo = fake.path() / "mountinfo";
    std::ofstream(paths.mountInfo) << "40 25 " << Numbers(DeviceOf(other)) << " / " << other.string()
                                   << " rw shared:9 - fuseblk " << device << " rw,user_id=0\n";
    EXPECT_FALSE(Refusal(other).empty());
}

#ifdef DRAVIK_CLI_PATH

struct CliResult {
    int status = -1;
    std::string err;
};

CliResult Cli(const std::vector<std::string>& args) {
    const fs::path errFile = fs::temp_directory_path() / ("dravik-guard-err-" + std::to_string(::getpid()));
    std::string command = std::string("exec '") + DRAVIK_CLI_PATH + "'";
    for (const auto& a : args) command += " '" + a + "'";
    command += " </dev/null >/dev/null 2>'" + errFile.string() + "'";
    CliResult r;
    const int st = std::system(command.c_str());
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
    fs::remove(errFile);
    return r;
}

TEST(RecoverCommand, RefusesTheFolderHoldingTheImageUnlessAllowed) {
    // A copy of the image in a scratch folder: recovering into that folder
    // could replace the image.
    Scratch dir(fs::path(test::ImagePath("fat16.img")).parent_path());
    const std::string image = (dir.path() / "copy.img").string();
    fs::copy_file(test::ImagePath("fat16.img"), image);
    const std::string log = (dir.path() / "run").string();
    ASSERT_EQ(Cli({"analyse", image, "--no-system-disks", "--log", log}).status, 0);
    auto recover = [&](const fs::path& to, bool allow) {
        std::vector<std::string> args{"recover", log + ".qsln", "--to", to.string(), "--all",
                                      "--image", image, "--no-system-disks"};
        if (allow) args.push_back("--allow-same-device");
        return Cli(args);
    };
    auto r = recover(dir.path(), false);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("holds the image being recovered"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--allow-same-device"), std::string::npos) << "the way past it is named";
    EXPECT_FALSE(fs::exists(dir.path() / "Docs")) << "nothing is written into the refused folder";

    r = recover(dir.path(), true);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Saving completed successfully."), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir.path() / "Docs"));

    // Beside it on the same file system is fine, as is another file system.
    r = recover(dir.path() / "out", false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "Docs"));
    const fs::path other = OtherFileSystem();
    if (other.empty()) GTEST_SKIP() << "no second file system here";
    Scratch elsewhere(other);
    r = recover(elsewhere.path() / "out", false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(elsewhere.path() / "out" / "Docs"));
}

#endif

}  // namespace
}  // namespace dravik::saving
