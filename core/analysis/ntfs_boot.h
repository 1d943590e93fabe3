// The NTFS boot sector: what the analysis needs to find the $MFT.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/le.h"

namespace dravik::analysis::ntfs {

// Sector counts are in the reader's sectors (see DecodeBootSector).
struct BootSector {
    std::uint32_t bytesPerSector = 0;     // the volume's own, u16 at 0x0B
    std::uint32_t sectorsPerCluster = 0;  // byte at 0x0D, in the reader's sectors
    std::uint64_t totalSectors = 0;
    std::uint64_t mftLcn = 0;
    std::uint64_t mftMirrLcn = 0;
    std::uint32_t sectorsPerRecord = 0;
    std::uint32_t sectorsPerIndexBlock = 0;
    // What the volume claims to span in bytes, its backup boot sector (the
    // sector after the counted ones) included; 0 when that does not fit.
    std::uint64_t volumeBytes = 0;
};

// Decodes a boot sector that carries 0x55 0xAA and "NTFS" at offset 3;
// nullopt otherwise. Records of 1 KiB and index blocks of 4 KiB are given as
// 2 and 8 sectors of 512 bytes; a record size that does not come out as 1, 2,
// 4, 6 or 8 sectors is taken as 2.
// A volume made with larger sectors than the reader's (4096-byte sectors of
// a 4Kn disk, read from an image in 512-byte sectors) has its sector counts
// scaled to the reader's sectors, so that the rest of the analysis works in
// one unit; a volume whose sector size is not a multiple of the reader's is
// taken as it stands.
std::optional<BootSector> DecodeBootSector(platform::Bytes sector, std::uint32_t readerSectorSize = 512);

}  // namespace dravik::analysis::ntfs
