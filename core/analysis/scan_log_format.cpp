#include "analysis/scan_log_format.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <limits>

#include "source/current_source.h"

namespace dravik::analysis::scanlog {

namespace {

std::uint32_t Low(std::uint64_t v) { return static_cast<std::uint32_t>(v); }

void PutTime(std::vector<std::uint8_t>& out, std::uint64_t time) { PutU64(out, time); }

// Cluster bases lie up to two clusters before the data area and may precede
// the partition start by a little; 2^16 sectors covers every layout.
constexpr std::uint64_t kFloorMargin = 1u << 16;

// Largest values of the fields that size a read: a cluster size comes from
// one byte of a boot sector, a FAT16 root directory holds at most 65535
// entries (4096 sectors).
constexpr std::uint32_t kMaxSectorsPerUnit = 255;
constexpr std::uint32_t kMaxRootDirSectors = 4096;

bool PlausibleSizes(std::uint32_t perCluster, std::uint32_t perRecord, std::uint32_t perIndexBlock,
                    std::uint32_t rootDirSectors) {
    return perCluster <= kMaxSectorsPerUnit && perRecord <= kMaxSectorsPerUnit &&
           perIndexBlock <= kMaxSectorsPerUnit && rootDirSectors <= kMaxRootDirSectors;
}

bool PlausibleWords(const GeometryWords& w) {
    return PlausibleSizes(w[word::kSectorsPerCluster], w[word::kSectorsPerRecord], w[word::kSectorsPerIndexBlock],
                          w[word::kRootDirSectors]);
}

}  // namespace

void PutU8(std::vector<std::uint8_t>& out, std::uint8_t v) { out.push_back(v); }

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutU64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutShortText(std::vector<std::uint8_t>& out, std::u16string_view text) {
    if (text.size() > kMaxText) {
        text = text.substr(0, kMaxText);
        if (text.back() >= 0xD800 && text.back() <= 0xDBFF) text.remove_suffix(1);
    }
    PutU8(out, static_cast<std::uint8_t>(text.size()));
    for (char16_t c : text) PutU16(out, c);
}

void PutNarrowText(std::vector<std::uint8_t>& out, std::string_view text) {
    text = text.substr(0, kMaxText);
    PutU8(out, static_cast<std::uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

void PutHead(std::vector<std::uint8_t>& out, const LogHead& h) {
    for (char16_t c : kIdentification) PutU16(out, c);
    PutU16(out, h.scanTimeRecords ? 1 : 0);
    PutU32(out, static_cast<std::uint32_t>(h.model.size()));
    for (char16_t c : h.model) PutU16(out, c);

    PutU8(out, h.deviceIndex);
    PutU8(out, h.driveLetter);
    PutU32(out, h.bytesPerSector);
    PutU8(out, h.diskNumber);
    PutU8(out, h.partitionIndex);
    PutShortText(out, h.fileSystem);
    PutShortText(out, h.partitionText);
    PutU64(out, h.startSector);
    PutU64(out, h.endSector);
    for (std::uint32_t w : h.partition) PutU32(out, w);
    for (std::uint32_t w : h.geometry) PutU32(out, w);
    PutShortText(out, h.geometryFileSystem);
    PutU32(out, h.formatted);
    PutU32(out, h.exhaustive);
    PutU32(out, h.phase);
    PutU32(out, h.currentVolume);
    if (h.exhaustive == 0) return;
    PutU32(out, static_cast<std::uint32_t>(h.volumes.size()));
    for (const VolumeDescriptor& v : h.volumes) PutVolumeRecord(out, v);
}

void PutVolumeRecord(std::vector<std::uint8_t>& out, const VolumeDescriptor& v) {
    PutU64(out, v.endSector);
    PutU64(out, v.startSector);
    PutU32(out, v.sectorsPerCluster);
    PutU32(out, Low(v.clusterBase));
    PutU32(out, Low(v.fat1Start));
    PutU32(out, v.reservedSectors);
    PutU32(out, v.rootDirSectors);
    PutU32(out, Low(v.rootDirStart));
    PutU32(out, Low(v.fat2Start));
    PutU32(out, v.sectorsPerFat);
    for (std::size_t i = 0; i < volume_record::kTypeChars; ++i)
        PutU16(out, i < v.typeName.size() ? static_cast<std::uint8_t>(v.typeName[i]) : 0);
    PutU32(out, v.sectorsPerRecord);
    PutU32(out, v.sectorsPerIndexBlock);
}

void PutFoundFolder(std::vector<std::uint8_t>& out, const FoundFolder& f) {
    PutTime(out, f.accessed);
    PutTime(out, f.created);
    PutU32(out, f.volume);
    PutTime(out, f.modified);
    PutU32(out, f.indexLcn);
    PutU32(out, f.parent);
    PutU32(out, Low(f.sector));
    PutU32(out, f.indexLcn);
    PutU32(out, f.number);
    PutU8(out, static_cast<std::uint8_t>(f.deleted));
    PutShortText(out, f.name);
    PutNarrowText(out, {});
}

namespace {
// A file item's name as the log keeps it. The log has no field for an
// alternate data stream: its item is named "file:stream", and when that is
// too long the file part is cut rather than the stream's, so the stream is
// still found on loading.
std::u16string_view LoggedFileName(std::u16string_view name, std::u16string& buffer) {
    const auto colon = name.rfind(u':');
    if (name.size() <= kMaxText || colon == std::u16string_view::npos || colon == 0) return name;
    const std::u16string_view stream = name.substr(colon);  // with its colon
    if (stream.size() >= kMaxText / 2) return name;
    std::u16string_view file = name.substr(0, kMaxText - stream.size());
    if (file.back() >= 0xD800 && file.back() <= 0xDBFF) file.remove_suffix(1);
    buffer.assign(file);
    buffer += stream;
    return buffer;
}
}  // namespace

void PutFoundFile(std::vector<std::uint8_t>& out, const FoundFile& f) {
    PutTime(out, f.accessed);
    PutTime(out, f.created);
    PutU32(out, f.stamp);
    PutTime(out, f.modified);
    PutU64(out, f.size);
    PutU32(out, f.parent);
    PutU32(out, Low(f.sector));
    PutU32(out, 0);
    PutU32(out, f.number);
    PutU8(out, static_cast<std::uint8_t>(f.deleted));
    std::u16string buffer;
    PutShortText(out, LoggedFileName(f.name, buffer));
    PutNarrowText(out, {});
}

void PutFolderItem(std::vector<std::uint8_t>& out, const FolderItem& f) {
    PutU32(out, f.treeHandle);
    PutTime(out, f.accessed);
    PutTime(out, f.created);
    PutU16(out, f.volume);
    PutU8(out, static_cast<std::uint8_t>(f.mark));
    PutU8(out, 0);
    PutTime(out, f.modified);
    PutU32(out, f.parent);
    PutU32(out, Low(f.sector));
    PutU16(out, f.volume);
    PutU8(out, static_cast<std::uint8_t>(f.mark));
    PutU8(out, 0);
    PutU32(out, f.number);
    PutU8(out, 'D');
    PutU8(out, static_cast<std::uint8_t>(f.deleted));
    PutShortText(out, WideName(f));
    PutNarrowText(out, NarrowName(f));
}

void PutFileItem(std::vector<std::uint8_t>& out, const FileItem& f) {
    PutTime(out, f.accessed);
    PutTime(out, f.created);
    PutU32(out, f.index);
    PutTime(out, f.modified);
    PutU64(out, f.size);
    PutU32(out, f.parent);
    PutU32(out, Low(f.sector));
    PutU8(out, static_cast<std::uint8_t>(f.mark));
    PutU8(out, 0);
    PutU8(out, 0);
    PutU8(out, 0);
    PutU32(out, f.number);
    PutU8(out, 'F');
    PutU8(out, static_cast<std::uint8_t>(f.deleted));
    std::u16string buffer;
    PutShortText(out, LoggedFileName(WideName(f), buffer));
    PutNarrowText(out, NarrowName(f));
}

GeometryWords WordsOf(const VolumeGeometry& g) {
    GeometryWords w{};
    w[word::kSectorsPerFat] = g.sectorsPerFat;
    w[word::kSectorsPerCluster] = g.sectorsPerCluster;
    w[word::kRootDirSectors] = g.rootDirSectors;
    w[word::kRootDirStart] = Low(g.rootDirStart);
    w[word::kReservedSectors] = g.reservedSectors;
    w[word::kClusterBase] = Low(g.clusterBase);
    w[word::kFat1Start] = Low(g.fat1Start);
    w[word::kFat2Start] = Low(g.fat2Start);
    w[word::kMftSector] = Low(g.mftSector);
    w[word::kMftMirrSector] = Low(g.mftMirrSector);
    w[word::kSectorsPerRecord] = g.sectorsPerRecord;
    w[word::kSectorsPerIndexBlock] = g.sectorsPerIndexBlock;
    return w;
}

VolumeGeometry GeometryOf(const GeometryWords& w, std::string fileSystem, std::uint64_t floor) {
    VolumeGeometry g;
    g.sectorsPerFat = w[word::kSectorsPerFat];
    g.sectorsPerCluster = w[word::kSectorsPerCluster];
    g.rootDirSectors = w[word::kRootDirSectors];
    // On FAT32 the root is a cluster number, not a sector.
    g.rootDirStart = fileSystem == "FAT32" ? w[word::kRootDirStart] : Widen(w[word::kRootDirStart], floor);
    g.reservedSectors = w[word::kReservedSectors];
    g.clusterBase = Widen(w[word::kClusterBase], floor);
    g.fat1Start = Widen(w[word::kFat1Start], floor);
    g.fat2Start = Widen(w[word::kFat2Start], floor);
    g.mftSector = Widen(w[word::kMftSector], floor);
    g.mftMirrSector = Widen(w[word::kMftMirrSector], floor);
    g.sectorsPerRecord = w[word::kSectorsPerRecord];
    g.sectorsPerIndexBlock = w[word::kSectorsPerIndexBlock];
    g.fileSystem = std::move(fileSystem);
    return g;
}

void WidenVolume(VolumeDescriptor& v, std::uint64_t floor) {
    // A volume found by its boot sector knows its start; one inferred from
    // its folders does not, and lies inside the searched range.
    if (v.startSector != 0) floor = SectorFloor(v.startSector);
    v.clusterBase = Widen(v.clusterBase, floor);
    v.fat1Start = Widen(v.fat1Start, floor);
    v.fat2Start = Widen(v.fat2Start, floor);
    if (v.typeName != "FAT32") v.rootDirStart = Widen(v.rootDirStart, floor);
}

std::uint64_t Widen(std::uint64_t low, std::uint64_t floor) {
    low &= 0xFFFFFFFFu;
    if (low == 0) return 0;
    constexpr std::uint64_t kStep = std::uint64_t(1) << 32;
    std::uint64_t v = (floor & ~(kStep - 1)) | low;
    if (v < floor) v = v <= std::numeric_limits<std::uint64_t>::max() - kStep ? v + kStep : low;
    return v;
}

std::uint64_t SectorFloor(std::uint64_t start) { return start > kFloorMargin ? start - kFloorMargin : 0; }

bool PlausibleHead(const LogHead& h) {
    const bool letter = h.driveLetter == 0 || (h.driveLetter >= 'A' && h.driveLetter <= 'Z') ||
                        (h.driveLetter >= 'a' && h.driveLetter <= 'z');
    const bool sectorSize = h.bytesPerSector >= 512 && h.bytesPerSector <= 4096 && std::has_single_bit(h.bytesPerSector);
    if (h.deviceIndex >= source::kDeviceSlots || !letter || !sectorSize) return false;
    if (!PlausibleWords(h.partition) || !PlausibleWords(h.geometry)) return false;
    return std::all_of(h.volumes.begin(), h.volumes.end(), [](const VolumeDescriptor& v) {
        return PlausibleSizes(v.sectorsPerCluster, v.sectorsPerRecord, v.sectorsPerIndexBlock, v.rootDirSectors);
    });
}

void MakeWritable(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR)) return;
    ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

}  // namespace dravik::analysis::scanlog
