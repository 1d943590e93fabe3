#include "drives/volume_probe.h"

#include <algorithm>
#include <vector>

#include "analysis/fat_boot.h"
#include "analysis/ntfs_boot.h"
#include "analysis/ntfs_record.h"
#include "partition/boot_sector_id.h"
#include "platform/le.h"
#include "platform/text.h"

namespace dravik::drives {

// The devices and sources the catalogue describes.
using namespace source;

namespace {

using platform::Bytes;
using platform::U16;
using platform::U32;
using platform::U64;
using platform::U8;

// BIOS parameter block, shared by FAT and NTFS.
namespace bpb {
using namespace analysis::fat::bpb;
inline constexpr std::size_t kBytesPerSector = 11;
inline constexpr std::size_t kFatCount = 16;
inline constexpr std::size_t kFsInfoSector = 48;
inline constexpr std::size_t kLabel16 = 43;
inline constexpr std::size_t kLabel32 = 71;
inline constexpr std::size_t kLabelLength = 11;
}  // namespace bpb

namespace fsinfo {
inline constexpr std::uint32_t kLeadSignature = 0x41615252;
inline constexpr std::size_t kStructSignatureAt = 484;
inline constexpr std::uint32_t kStructSignature = 0x61417272;
inline constexpr std::size_t kFreeCount = 488;
}  // namespace fsinfo

namespace ntfs_boot {
inline constexpr std::uint64_t kVolumeRecord = 3;  // $Volume
inline constexpr std::uint32_t kVolumeName = 0x60;
inline constexpr std::size_t kValueLength = 0x10;
inline constexpr std::size_t kValueOffset = 0x14;
}  // namespace ntfs_boot

// FAT12/16 tables are read whole to count free clusters; FAT32 keeps a count.
inline constexpr std::uint64_t kMaxFatBytes = 1u << 20;

bool IsPowerOfTwo(std::uint64_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

bool ReadBytes(SectorDevice& device, std::uint64_t offset, std::vector<std::uint8_t>& buf, std::size_t length) {
    buf.assign(length, 0);
    return device.ReadAt(offset, buf);
}

// A boot-sector label: trailing blanks dropped, "NO NAME" means none, bytes
// outside printable ASCII (an OEM code page we do not know) shown as '?'.
std::string FatLabel(Bytes boot, std::size_t at) {
    std::string label;
    for (std::size_t i = 0; i < bpb::kLabelLength; ++i) {
        const std::uint8_t c = U8(boot, at + i);
        label.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : (c == 0 ? ' ' : '?'));
    }
    label.erase(label.find_last_not_of(' ') + 1);
    return label == "NO NAME" ? std::string() : label;
}

struct FatLayout {
    std::uint32_t bytesPerSector = 0;
    std::uint64_t clusterBytes = 0;
    std::uint64_t reserved = 0;
    std::uint64_t fatSectors = 0;
    std::uint64_t clusters = 0;
};

std::optional<FatLayout> DecodeFatLayout(Bytes boot) {
    FatLayout f;
    f.bytesPerSector = U16(boot, bpb::kBytesPerSector);
    const std::uint32_t spc = U8(boot, bpb::kSectorsPerCluster);
    const std::uint32_t fats = U8(boot, bpb::kFatCount);
    f.reserved = U16(boot, bpb::kReservedSectors);
    f.fatSectors = U16(boot, bpb::kSectorsPerFat16);
    if (f.fatSectors == 0) f.fatSectors = U32(boot, bpb::kSectorsPerFat32);
    if (!IsPowerOfTwo(f.bytesPerSector) || f.bytesPerSector < 512 || f.bytesPerSector > 4096 || !IsPowerOfTwo(spc) ||
        fats == 0 || f.reserved == 0 || f.fatSectors == 0)
        return std::nullopt;
    const std::uint64_t rootSectors = (std::uint64_t(U16(boot, bpb::kRootEntries)) * 32 + f.bytesPerSector - 1) / f.bytesPerSector;
    const std::uint64_t total = partition::FatTotalSectors(boot);
    const std::uint64_t meta = f.reserved + fats * f.fatSectors + rootSectors;
    if (total <= meta) return std::nullopt;
    f.clusterBytes = std::uint64_t(spc) * f.bytesPerSector;
    f.clusters = (total - meta) / spc;
    return f;
}

std::optional<std::uint64_t> Fat32Free(SectorDevice& device, Bytes boot, const FatLayout& f) {
    std::vector<std::uint8_t> info;
    if (!ReadBytes(device, std::uint64_t(U16(boot, bpb::kFsInfoSector)) * f.bytesPerSector, info, 512)) return std::nullopt;
    if (U32(info, 0) != fsinfo::kLeadSignature || U32(info, fsinfo::kStructSignatureAt) != fsinfo::kStructSignature)
        return std::nullopt;
    const std::uint32_t freeClusters = U32(info, fsinfo::kFreeCount);
    if (freeClusters > f.clusters) return std::nullopt;  // 0xFFFFFFFF: not kept
    return freeClusters * f.clusterBytes;
}

std::optional<std::uint64_t> Fat1216Free(SectorDevice& device, const FatLayout& f, bool fat12) {
    const std::uint64_t bytes = f.fatSectors * f.bytesPerSector;
    if (bytes > kMaxFatBytes) return std::nullopt;
    std::vector<std::uint8_t> fat;
    if (!ReadBytes(device, f.reserved * f.bytesPerSector, fat, static_cast<std::size_t>(bytes))) return std::nullopt;
    std::uint64_t freeClusters = 0;
    for (std::uint64_t c = 2; c < f.clusters + 2; ++c) {
        std::optional<std::uint16_t> v;
        if (fat12) {
            v = platform::Le<std::uint16_t>(fat, c + c / 2);
            if (v) v = static_cast<std::uint16_t>((c & 1) ? (*v >> 4) : (*v & 0x0FFF));
        } else {
            v = platform::Le<std::uint16_t>(fat, c * 2);
        }
        if (!v) return std::nullopt;  // the FAT is shorter than the volume needs
        if (*v == 0) ++freeClusters;
    }
    return freeClusters * f.clusterBytes;
}

// The name in the $VOLUME_NAME attribute of record 3 ($Volume). The first
// records of $MFT always lie in its first run, so record 3 is found from the
// boot sector alone.
std::string NtfsLabel(SectorDevice& device, Bytes boot, std::uint64_t clusterBytes, std::uint32_t bytesPerSector) {
    const auto decoded = analysis::ntfs::DecodeBootSector(boot, bytesPerSector);
    if (!decoded) return {};
    const std::uint64_t recordBytes = std::uint64_t(decoded->sectorsPerRecord) * bytesPerSector;
    const std::uint64_t lcn = decoded->mftLcn;
    if (lcn > (std::uint64_t(1) << 48) / clusterBytes) return {};
    const std::uint64_t at = lcn * clusterBytes + ntfs_boot::kVolumeRecord * recordBytes;

    std::vector<std::uint8_t> record;
    if (!ReadBytes(device, at, record, static_cast<std::size_t>(recordBytes)) || !analysis::ntfs::IsFileRecord(record))
        return {};
    analysis::ntfs::ApplyFixups(record);
    const Bytes view(record);
    const std::size_t bound = analysis::ntfs::RecordBound(view);
    auto a = analysis::ntfs::FindAttribute(view, bound, analysis::ntfs::FirstAttributeOffset(view),
                                           [](const auto& ref) { return ref.type == ntfs_boot::kVolumeName; });
    if (!a || a->nonResident) return {};
    const std::uint64_t off = a->offset + std::uint64_t(U16(view, a->offset + ntfs_boot::kValueOffset));
    const std::uint64_t len = U32(view, a->offset + ntfs_boot::kValueLength);
    if (!platform::InRange(std::min<std::size_t>(bound, a->offset + std::size_t(a->length)), off, len)) return {};
    auto name = platform::Utf16At(view, off, static_cast<std::size_t>(len / 2));
    return name ? platform::Utf16ToUtf8(*name) : std::string();
}

}  // namespace

VolumeFacts ProbeVolume(SectorDevice& device) {
    VolumeFacts facts;
    std::vector<std::uint8_t> boot;
    if (!ReadBytes(device, 0, boot, 512) || !partition::HasBootSignature(boot)) return facts;

    using platform::BytesEqual;
    if (BytesEqual(boot, partition::boot::kOemName, partition::kNtfs)) {
        facts.fileSystem = std::string(partition::kNtfs);
        const std::uint32_t bps = U16(boot, bpb::kBytesPerSector);
        const std::uint32_t spc = U8(boot, bpb::kSectorsPerCluster);
        // Above 0x80 the byte is a negative power of two (clusters of 64 KiB and more).
        const std::uint64_t clusterBytes = spc <= 0x80 ? std::uint64_t(spc) * bps : (spc >= 0xF0 ? std::uint64_t(bps) << (256 - spc) : 0);
        if (!IsPowerOfTwo(bps) || bps < 512 || bps > 4096 || clusterBytes == 0) return facts;
        facts.bytesPerSector = bps;
        const std::uint64_t total = U64(boot, partition::boot::kNtfsTotal);
        facts.capacity = total / (clusterBytes / bps) * clusterBytes;
        facts.label = NtfsLabel(device, boot, clusterBytes, bps);
        return facts;
    }

    const bool fat32 = BytesEqual(boot, partition::boot::kFat32Type, partition::kFat32);
    const bool fat16 = !fat32 && BytesEqual(boot, partition::boot::kFat16Type, partition::kFat16);
    const bool fat12 = !fat32 && !fat16 && BytesEqual(boot, partition::boot::kFat16Type, "FAT12");
    if (!fat32 && !fat16 && !fat12) return facts;
    facts.fileSystem = fat32 ? "FAT32" : fat16 ? "FAT16" : "FAT12";
    facts.label = FatLabel(boot, fat32 ? bpb::kLabel32 : bpb::kLabel16);
    auto layout = DecodeFatLayout(boot);
    if (!layout) return facts;
    facts.bytesPerSector = layout->bytesPerSector;
    facts.capacity = layout->clusters * layout->clusterBytes;
    facts.free = fat32 ? Fat32Free(device, boot, *layout) : Fat1216Free(device, *layout, fat12);
    return facts;
}

}  // namespace dravik::drives
