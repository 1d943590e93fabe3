// The drive catalogue over a fake sysfs and /dev in a temporary folder (never
// the machine's own disks), with real and hand-built images behind the
// devices: numbering, the geometry cache, the tree, the logical drives and
// the information panes.
#include "drives/drive_catalogue.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <grp.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/app_context.h"
#include "app/workflow.h"
#include "partition/partition_walk.h"
#include "platform/registry_store.h"
#include "drives/drive_information.h"
#include "source/geometry_cache.h"
#include "drives/volume_probe.h"
#include "support/disk_builder.h"
#include "support/scripted_prompter.h"
#include "support/test_images.h"

namespace dravik::drives {
namespace {

using namespace source;

namespace fs = std::filesystem;
namespace cache = geometry_cache;

TEST(RegistryStore, KeysBehaveAsTheRegistrysDo) {
    platform::RegistryStore reg;
    EXPECT_FALSE(reg.OpenKey("A"));
    EXPECT_TRUE(reg.SetValue("A\\B", "Disk0", "x"));  // creates A and A\B
    EXPECT_TRUE(reg.OpenKey("a"));
    EXPECT_EQ(reg.GetValue("a\\b", "DISK0"), "x");
    EXPECT_FALSE(reg.DeleteKey("A")) << "a key with subkeys stays";
    EXPECT_TRUE(reg.DeleteKey("A\\B"));
    EXPECT_TRUE(reg.DeleteKey("A"));
    EXPECT_FALSE(reg.DeleteKey("A"));
    reg.DenyCreate("Locked");
    EXPECT_FALSE(reg.CreateKey("Locked\\Sub"));
    EXPECT_FALSE(reg.SetValue("Locked", "v", "x"));
}

TEST(BlockDevices, NamesSortNaturallyAndMountLinesDecode) {
    EXPECT_TRUE(platform::NaturalLess("nvme2n1", "nvme10n1"));
    EXPECT_TRUE(platform::NaturalLess("sda", "sdb"));
    EXPECT_FALSE(platform::NaturalLess("sdb", "sdb"));
    auto m = platform::ParseMountInfoLine("36 25 8:1 / /mnt/my\\040disk rw,relatime shared:1 master:2 - vfat /dev/sdb1 rw");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->devNumbers, "8:1");
    EXPECT_EQ(m->mountPoint, "/mnt/my disk");
    EXPECT_EQ(m->source, "/dev/sdb1");
    EXPECT_FALSE(platform::ParseMountInfoLine("36 25 8:1 / /mnt rw"));
    EXPECT_FALSE(platform::ParseMountInfoLine("- a b"));
}

TEST(DeviceMapLetters, VolumesGetLettersFromCUpwards) {
    platform::DeviceMap map;
    map.SetVolume('D', {"taken"});
    EXPECT_EQ(map.AddVolume({"a"}), 'C');
    EXPECT_EQ(map.AddVolume({"b"}), 'E');
    for (int i = 0; i < 21; ++i) map.AddVolume({"x"});
    EXPECT_EQ(map.AddVolume({"full"}), 0);
}

TEST(FormatSize, OneDecimalInBinaryUnits) {
    EXPECT_EQ(FormatSize(0), "0");
    EXPECT_EQ(FormatSize(1), "0.0 KB");
    EXPECT_EQ(FormatSize(1536), "1.5 KB");
    EXPECT_EQ(FormatSize((1u << 20) - 1), "1024.0 KB");
    EXPECT_EQ(FormatSize(1u << 20), "1.0 MB");
    EXPECT_EQ(FormatSize(500'000'000), "476.8 MB");
    EXPECT_EQ(FormatSize(std::uint64_t(1) << 30), "1.0 GB");
    EXPECT_EQ(FormatSize(3'000'000'000'000ULL), "2.7 TB");
    EXPECT_EQ(FormatSize(~std::uint64_t(0)), "16777216.0 TB");
}

// Label, capacity and free space of the FAT images against their build
// notes: the geometry line and what fsck.fat counted.
TEST(VolumeProbe, FatImagesShowTheirLabelAndFsckFreeSpace) {
    for (const std::string name : {"fat12", "fat16", "fat32"}) {
        SCOPED_TRACE(name);
        std::ifstream notes(test::ManifestPath(name + ".build-info.txt"));
        std::string line, label;
        unsigned clusterBytes = 0, clusters = 0, used = 0, total = 0;
        char type[8] = {};
        while (std::getline(notes, line)) {
            if (std::sscanf(line.c_str(), "geometry: %5[A-Z0-9], 512-byte sectors, %u-byte clusters, %u clusters", type,
                            &clusterBytes, &clusters) == 3)
                label = line.substr(line.find("label '") + 7, line.rfind('\'') - line.find("label '") - 7);
            const auto at = line.find("files, ");
            if (line.starts_with("fsck.fat -n") && at != std::string::npos)
                std::sscanf(line.c_str() + at, "files, %u/%u clusters", &used, &total);
        }
        ASSERT_TRUE(clusters && total == clusters);
        auto device = OpenPosixDevice({test::ImagePath(name + ".img").string()});
        ASSERT_TRUE(device);
        const auto facts = ProbeVolume(*device);
        EXPECT_EQ(facts.fileSystem, type);
        EXPECT_EQ(facts.label, label);
        EXPECT_EQ(facts.capacity, std::uint64_t(clusters) * clusterBytes);
        EXPECT_EQ(facts.free, std::uint64_t(clusters - used) * clusterBytes);
    }
}

void WriteFile(const fs::path& p, std::string_view text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

void WriteImage(const fs::path& p, test::SparseDisk& disk, std::uint64_t bytes) {
    fs::create_directories(p.parent_path());
    std::vector<std::uint8_t> all(bytes);
    disk.Device()->ReadAt(0, all);
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(all.data()), static_cast<std::streamsize>(all.size()));
}

class CatalogueTest : public ::testing::Test {
protected:
    static constexpr std::uint64_t kStickSectors = 4096;  // less than a cylinder
    static constexpr std::uint64_t kUsbSectors = 20'000;  // one cylinder and a bit

    void SetUp() override {
        root_ = fs::temp_directory_path() / ("dravik-catalogue-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        const fs::path sys = root_ / "sys" / "block", dev = root_ / "dev";
        // sda: the two-volume disk, its first partition also as a partition device.
        WriteFile(sys / "sda" / "removable", "0\n");
        WriteFile(sys / "sda" / "device" / "model", "Fake Disk 1     \n");
        WriteFile(sys / "sda" / "queue" / "logical_block_size", "512\n");
        WriteFile(sys / "sda" / "sda1" / "partition", "1\n");
        WriteFile(sys / "sda" / "sda1" / "start", "2048\n");
        WriteFile(sys / "sda" / "sda1" / "size", "32768\n");
        fs::create_directories(dev);
        fs::create_symlink(test::ImagePath("ntfs-two-volumes.img"), dev / "sda");
        {
            std::ifstream in(test::ImagePath("ntfs-two-volumes.img"), std::ios::binary);
            in.seekg(2048 * 512);
            std::vector<char> part(32768 * 512);
            in.read(part.data(), static_cast<std::streamsize>(part.size()));
            std::ofstream(dev / "sda1", std::ios::binary).write(part.data(), static_cast<std::streamsize>(part.size()));
        }
        // sdb: a removable stick with one FAT32 partition without a label.
        WriteFile(sys / "sdb" / "removable", "1\n");
        WriteFile(sys / "sdb" / "device" / "model", "USB Stick\n");
        test::SparseDisk usb(kUsbSectors * 512);
        test::PutMbrEntry(usb.Sector(0), 0, 0x0C, 2048, 17'000);
        test::PutFatBoot(usb.Sector(2048), "FAT32", 17'000);
        auto& info = usb.Sector(2049);
        test::Put32(info, 0, 0x41615252);
        test::Put32(info, 484, 0x61417272);
        test::Put32(info, 488, 1234);
        WriteImage(dev / "sdb", usb, kUsbSectors * 512);
        // sdc has no device node (cannot be opened); the rest are not disks.
        for (auto name : {"sdc", "loop0", "dm-0", "sr0", "zram0", "ram1"}) WriteFile(sys / name / "removable", "0\n");
        WriteFile(sys / "sda1" / "partition", "1\n");

        // An attached disk image that is one FAT16 volume with 10 clusters used.
        test::SparseDisk stick(kStickSectors * 512);
        test::PutFatBoot(stick.Sector(0), "FAT16", kStickSectors, "STICK");
        auto& fat = stick.Sector(1);
        for (int c = 0; c < 12; ++c) test::Put16(fat, 2 * c, 0xFFFF);
        WriteImage(root_ / "images" / "stick.img", stick, kStickSectors * 512);

        mountPoint_ = root_ / "mnt point";
        fs::create_directories(mountPoint_);
        WriteFile(root_ / "mountinfo",
                  "22 1 8:2 / / rw - ext4 /dev/root rw\n"
                  "36 22 8:1 / " + (root_ / "mnt\\040point").string() + " rw,relatime shared:1 - ntfs3 " +
                      (dev / "sda1").string() + " rw\n");

        auto& setup = ctx_.drives.setup;
        setup.paths = {root_ / "sys", dev, root_ / "mountinfo"};
        setup.attachedDisks = {(root_ / "images" / "stick.img").string()};
        setup.attachedVolumes = {test::ImagePath("ntfs-basic.img").string()};
    }
    void TearDown() override { fs::remove_all(root_); }

    std::vector<std::string> Texts(partition::TreeHandle parent) const {
        std::vector<std::string> out;
        for (auto h : ctx_.drives.catalogue.Children(parent)) out.push_back(ctx_.drives.catalogue.Item(h)->text);
        return out;
    }
    std::string Cached(std::string_view key, int n) const { return cache::CachedValue(ctx_.registry, key, n); }

    fs::path root_, mountPoint_;
    test::ScriptedPrompter prompter_;
    app::AppContext ctx_{prompter_};
};

TEST_F(CatalogueTest, ListsAttachedThenSystemDisksWithTheirCachedGeometry) {
    ctx_.registry.SetValue(cache::kSize, "Disk7", "1");  // from an earlier build
    ctx_.source.SelectVolume('G');
    ctx_.source.EndSector = 99;
    ASSERT_TRUE(BuildDriveCatalogue(ctx_).built);

    const auto& c = ctx_.drives.catalogue;
    EXPECT_EQ(Texts(0), std::vector<std::string>{"This PC"});
    EXPECT_EQ(Texts(1), (std::vector<std::string>{"Physical Disks", "Logical Drives"}));
    EXPECT_EQ(Texts(2), (std::vector<std::string>{"Disk0", "Disk1", "Disk2"})) << "sdc cannot be opened: Disk3 is missing";
    EXPECT_EQ(c.physicalDiskCount, 3);
    EXPECT_EQ(c.disks[3]->kernelName, "sdc");
    EXPECT_FALSE(c.disks[4]) << "loop, dm, sr, zram, ram and partitions are no disks";

    EXPECT_EQ(Cached(cache::kRoot, 0), "HDD");
    EXPECT_EQ(Cached(cache::kRoot, 2), "ZIP");
    EXPECT_EQ(Cached(cache::kRoot, 3), "");
    EXPECT_EQ(Cached(cache::kMediaType, 1), "Fixed hard disk media");
    EXPECT_EQ(Cached(cache::kMediaType, 2), "Removable media other than floppy");
    EXPECT_EQ(Cached(cache::kCylinder, 1), "4");  // 73 728 sectors / 16 065
    EXPECT_EQ(Cached(cache::kHead, 1), "255");
    EXPECT_EQ(Cached(cache::kSectorsPerTrack, 1), "63");
    EXPECT_EQ(Cached(cache::kSize, 1), "32901120");
    EXPECT_EQ(Cached(cache::kSize, 0), "0") << "less than one cylinder";
    EXPECT_EQ(Cached(cache::kModel, 1), "Fake Disk 1");
    EXPECT_EQ(Cached(cache::kModel, 2), "USB Stick");
    EXPECT_EQ(Cached(cache::kModel, 0), "stick.img");
    EXPECT_EQ(Cached(cache::kSize, 7), "") << "the cache is rebuilt from scratch";
    EXPECT_TRUE(ctx_.registry.OpenKey(cache::kBytesPerSector));

    EXPECT_EQ(ctx_.devices.Resolve("\\\\.\\PhysicalDrive1")->path, (root_ / "dev" / "sda").string());
    EXPECT_EQ(ctx_.source.DeviceTable[0], "\\\\.\\PhysicalDrive0");
    EXPECT_EQ(ctx_.source.EndSector, 0u);
    EXPECT_EQ(ctx_.source.DriveLetter, 0);
}

TEST_F(CatalogueTest, DisksCarryTheirPartitionsAndVolumesTheirLetters) {
    ASSERT_TRUE(BuildDriveCatalogue(ctx_).built);
    const auto& c = ctx_.drives.catalogue;
    const auto disks = c.Children(2);
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(Texts(disks[0]), std::vector<std::string>{"Partition - 1 ( FAT16 )"});
    EXPECT_EQ(Texts(disks[1]), (std::vector<std::string>{"Partition - 1 ( NTFS )", "Partition - 2 ( NTFS )"}));
    EXPECT_EQ(Texts(disks[2]), std::vector<std::string>{"Partition - 1 ( FAT32 )"});
    const auto second = c.Children(disks[1])[1];
    EXPECT_EQ(ctx_.partitions[1].Entries[1].TreeItem, second) << "the entry finds its item";
    EXPECT_EQ(c.Item(second)->partition, 1);
    EXPECT_EQ(c.Item(second)->disk, 1);

    EXPECT_EQ(Texts(3), (std::vector<std::string>{"STICK (C:)", "OFFICE (D:)", "MEDIA (E:)", "Local Disk (F:)",
                                                  "NTFS-BASIC (G:)"}));
    const std::string dev = (root_ / "dev").string();
    EXPECT_EQ(ctx_.devices.Resolve("\\\\.\\C:"), (platform::DeviceBacking{(root_ / "images" / "stick.img").string(), 0, 0}));
    EXPECT_EQ(ctx_.devices.Resolve("\\\\.\\D:"), (platform::DeviceBacking{dev + "/sda1", 0, 0})) << "its partition device";
    EXPECT_EQ(ctx_.devices.Resolve("\\\\.\\E:"), (platform::DeviceBacking{dev + "/sda", 36864 * 512, 34816 * 512}));
    EXPECT_EQ(ctx_.devices.Resolve("\\\\.\\F:"), (platform::DeviceBacking{dev + "/sdb", 2048 * 512, 17000 * 512}));
    EXPECT_EQ(c.Volume('F')->fileSystem, "FAT32");
}

TEST_F(CatalogueTest, ALockedCacheEndsTheProcessWithItsExitCode) {
    ctx_.registry.DenyCreate(cache::kRoot);
    auto status = BuildDriveCatalogue(ctx_);
    EXPECT_FALSE(status.built);
    EXPECT_EQ(status.exitCode, 0);

    test::ScriptedPrompter prompter;
    app::AppContext other(prompter);
    other.registry.DenyCreate(cache::kModel);
    status = BuildDriveCatalogue(other);
    EXPECT_FALSE(status.built);
    EXPECT_EQ(status.exitCode, 1);
}

TEST_F(CatalogueTest, DiskAndPartitionPanesShowTheCachedFiguresAndShares) {
    ASSERT_TRUE(BuildDriveCatalogue(ctx_).built);
    ctx_.source.SelectVolume('D');
    ctx_.source.EndSector = 777;
    partition::WalkPartitions(ctx_, nullptr, 0, 0, false);  // a volume walk overwrites table 0...

    auto pane = ShowDiskInformation(ctx_, 1, 1);
    EXPECT_EQ(pane.Text(),
              "Physical Disk Number : 1\nModel   : Fake Disk 1\nMedia Type   : Fixed hard disk media\nDisk Size  : 31.4 MB\n");
    ASSERT_EQ(pane.pie.size(), 2u);
    EXPECT_EQ(pane.pie[0].legend, "Partition 1");
    EXPECT_EQ(pane.pie[1].legend, "Selected Partition 2");
    EXPECT_NEAR(pane.pie[0].percent, 32768.0 * 512 / 32901120 * 100, 1e-9);
    EXPECT_NEAR(pane.pie[1].percent, 34816.0 * 512 / 32901120 * 100, 1e-9);
    EXPECT_EQ(ctx_.source.DeviceIndex, 1);
    EXPECT_EQ(ctx_.source.DriveLetter, 0);
    EXPECT_EQ(ctx_.source.EndSector, 777u);

    pane = ShowDiskInformation(ctx_, 0);  // ...and the pane walks its disk again
    EXPECT_EQ(pane.lines[3].second, "0");
    ASSERT_EQ(pane.pie.size(), 1u);
    EXPECT_EQ(pane.pie[0].percent, 0.0) << "no share of a size of 0";

    EXPECT_EQ(ShowPartitionInformation(ctx_, 1, 1).Text(),
              "Partition Type   : NTFS\nStart Sector     : 36864\nEnd Sector       : 71680\nPartition Size   : 17.0 MB\n");
    EXPECT_TRUE(ShowPartitionInformation(ctx_, 1, 2).lines.empty());
    EXPECT_TRUE(ShowPartitionInformation(ctx_, 11, 0).lines.empty());
}

TEST_F(CatalogueTest, VolumePaneTakesMountedFiguresElseTheFileSystemsOwn) {
    ASSERT_TRUE(BuildDriveCatalogue(ctx_).built);
    ctx_.source.BytesPerSector = 4096;

    struct statvfs v {};
    ASSERT_EQ(::statvfs(mountPoint_.c_str(), &v), 0);
    const std::uint64_t total = std::uint64_t(v.f_blocks) * v.f_frsize, free = std::uint64_t(v.f_bfree) * v.f_frsize;
    auto pane = ShowVolumeInformation(ctx_, "OFFICE (D:)");
    EXPECT_EQ(pane.Text(), "Volume Name : OFFICE\nFile System : NTFS\nCapacity : " + FormatSize(total) +
                               "\nUsed Space : " + FormatSize(total - free) + "\nFree Space : " + FormatSize(free) + "\n");
    ASSERT_EQ(pane.pie.size(), 2u);
    EXPECT_EQ(pane.pie[0].legend, "Used Space");
    EXPECT_EQ(ctx_.source.BytesPerSector, 512);

    // Not mounted: NTFS gives its capacity only; FAT its free space too.
    pane = ShowVolumeInformation(ctx_, "MEDIA (E:)");
    EXPECT_EQ(pane.Text(), "Volume Name : MEDIA\nFile System : NTFS\nCapacity : 17.0 MB\nUsed Space : \nFree Space : \n");
    EXPECT_TRUE(pane.pie.empty());
    pane = ShowVolumeInformation(ctx_, "STICK (C:)");  // 4031 clusters of 512 bytes, 10 used
    EXPECT_EQ(pane.Text(), "Volume Name : STICK\nFile System : FAT16\nCapacity : 2.0 MB\nUsed Space : 5.0 KB\nFree Space : 2.0 MB\n");
    pane = ShowVolumeInformation(ctx_, "Local Disk (F:)");  // FSInfo: 1234 free of 14 968
    EXPECT_EQ(pane.Text(), "Volume Name : \nFile System : FAT32\nCapacity : 7.3 MB\nUsed Space : 6.7 MB\nFree Space : 617.0 KB\n");

    ctx_.source.BytesPerSector = 4096;
    pane = ShowVolumeInformation(ctx_, "Gone (Q:)");
    EXPECT_EQ(pane.Text(), "Volume Name : \nFile System : \nCapacity : \nUsed Space : \nFree Space : \n");
    EXPECT_EQ(ctx_.source.BytesPerSector, 4096) << "a volume that cannot be opened leaves it";
    EXPECT_TRUE(ShowVolumeInformation(ctx_, ":)").lines.empty());
}


// A disk the user may not read stays listed, and choosing it says why and how
// to get access instead of failing silently. As root the check runs in a
// child that has given up its rights.
TEST_F(CatalogueTest, ADiskThisUserMayNotReadIsListedAndChoosingItSaysWhy) {
    const fs::path sys = root_ / "sys" / "block", dev = root_ / "dev";
    WriteFile(sys / "sdd" / "removable", "0\n");
    WriteFile(sys / "sdd" / "size", "48195\n");  // three cylinders
    WriteFile(dev / "sdd", std::string(4096, '\0'));
    fs::permissions(dev / "sdd", fs::perms::owner_read | fs::perms::owner_write);
    ctx_.drives.setup.attachedDisks.clear();
    ctx_.drives.setup.attachedVolumes.clear();
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                     ::setresuid(65534, 65534, 65534) != 0))
                std::_Exit(3);
            drives::BuildDriveCatalogue(ctx_);
            int n = -1;
            for (int i = 0; i < source::kDeviceSlots; ++i)
                if (ctx_.drives.catalogue.disks[i] && ctx_.drives.catalogue.disks[i]->kernelName == "sdd") n = i;
            if (n < 0 || ctx_.drives.catalogue.disks[n]->openError != EACCES) std::_Exit(4);
            partition::TreeHandle item = 0;
            for (const auto& it : ctx_.drives.catalogue.items)
                if (it.kind == drives::CatalogueItemKind::Disk && it.disk == n) item = it.handle;
            const auto chosen = app::SelectSourceItem(ctx_, item);
            if (chosen.accessProblem.find("pkexec") == std::string::npos) std::_Exit(5);
            if (chosen.pane.Text().find("Disk Size  : 23.5 MB") == std::string::npos) std::_Exit(6);
            ctx_.analysis.settings.exhaustive = true;
            if (app::ConfirmSource(ctx_, {"63", "40960", analysis::SearchFileSystem::Ntfs}) !=
                app::SourceConfirmation::Refused)
                std::_Exit(7);
            if (prompter_.messages.empty() || prompter_.messages.back() != chosen.accessProblem) std::_Exit(8);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace dravik::drives
