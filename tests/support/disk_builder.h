// Disks built sector by sector in memory for the partition and catalogue
// tests: only the sectors written are stored, so a disk can be terabytes
// long. Plus writers of the few structures those tests need.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "source/sector_device.h"

namespace dravik::test {

class SparseDisk {
public:
    explicit SparseDisk(std::uint64_t sizeBytes, std::uint32_t sectorSize = 512)
        : data_(std::make_shared<Data>()) {
        data_->size = sizeBytes;
        data_->sectorSize = sectorSize;
    }

    std::uint32_t SectorSize() const { return data_->sectorSize; }

    // The sector's bytes, created zeroed on first use.
    std::vector<std::uint8_t>& Sector(std::uint64_t s) {
        auto& bytes = data_->sectors[s];
        bytes.resize(data_->sectorSize, 0);
        return bytes;
    }

    // A device over the disk; it sees later writes too. Bytes never written,
    // and bytes past the end, read as zeros.
    std::unique_ptr<source::SectorDevice> Device() const { return std::make_unique<Reader>(data_); }

private:
    struct Data {
        std::uint64_t size = 0;
        std::uint32_t sectorSize = 512;
        std::map<std::uint64_t, std::vector<std::uint8_t>> sectors;
    };
    class Reader final : public source::SectorDevice {
    public:
        explicit Reader(std::shared_ptr<Data> d) : d_(std::move(d)) {}
        bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
            std::memset(buf.data(), 0, buf.size());
            const std::uint64_t bps = d_->sectorSize;
            const std::uint64_t first = offset / bps;
            for (auto it = d_->sectors.lower_bound(first); it != d_->sectors.end(); ++it) {
                const std::uint64_t at = it->first * bps;
                if (at >= offset + buf.size()) break;
                for (std::uint64_t i = 0; i < bps; ++i)
                    if (at + i >= offset && at + i < offset + buf.size() && at + i < d_->size) buf[at + i - offset] = it->second[i];
            }
            return true;
        }
        std::uint64_t Size() const override { return d_->size; }

    private:
        std::shared_ptr<Data> d_;
    };
    std::shared_ptr<Data> data_;
};

inline void Put16(std::vector<std::uint8_t>& b, std::size_t off, std::uint16_t v) {
    b[off] = std::uint8_t(v);
    b[off + 1] = std::uint8_t(v >> 8);
}
inline void Put32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = std::uint8_t(v >> (8 * i));
}
inline void Put64(std::vector<std::uint8_t>& b, std::size_t off, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[off + i] = std::uint8_t(v >> (8 * i));
}
inline void PutText(std::vector<std::uint8_t>& b, std::size_t off, std::string_view text) {
    std::memcpy(b.data() + off, text.data(), text.size());
}
inline void PutSignature(std::vector<std::uint8_t>& b) {
    b[510] = 0x55;
    b[511] = 0xAA;
}

// MBR or extended boot record entry `e` (0..3); adds the boot signature.
inline void PutMbrEntry(std::vector<std::uint8_t>& sector, int e, std::uint8_t type, std::uint32_t first, std::uint32_t count) {
    const std::size_t at = 446 + 16 * e;
    sector[at + 4] = type;
    Put32(sector, at + 8, first);
    Put32(sector, at + 12, count);
    PutSignature(sector);
}

// A FAT boot sector that names its type where the real ones do: "FAT32   "
// at 82 or "FAT16   " / "FAT12   " at 54. Total sectors in the 16-bit field
// when they fit, else in the 32-bit one.
inline void PutFatBoot(std::vector<std::uint8_t>& b, std::string_view type, std::uint32_t totalSectors,
                       std::string_view label = "NO NAME    ") {
    b[0] = 0xEB;
    b[1] = 0x3C;
    b[2] = 0x90;
    PutText(b, 3, "MSDOS5.0");
    Put16(b, 11, 512);
    b[13] = 1;
    Put16(b, 14, type == "FAT32" ? 32 : 1);
    b[16] = 2;
    if (totalSectors < 65536 && type != "FAT32")
        Put16(b, 19, static_cast<std::uint16_t>(totalSectors));
    else
        Put32(b, 32, totalSectors);
    std::string padded(label);
    padded.resize(11, ' ');
    if (type == "FAT32") {
        Put32(b, 36, 1000);
        Put16(b, 48, 1);
        PutText(b, 71, padded);
        PutText(b, 82, "FAT32   ");
    } else {
        Put16(b, 17, 512);
        Put16(b, 22, 16);
        PutText(b, 43, padded);
        PutText(b, 54, std::string(type) + "   ");
    }
    PutSignature(b);
}

inline void PutNtfsBoot(std::vector<std::uint8_t>& b, std::uint64_t totalSectors) {
    b[0] = 0xEB;
    b[1] = 0x52;
    b[2] = 0x90;
    PutText(b, 3, "NTFS    ");
    Put16(b, 11, 512);
    b[13] = 8;
    Put64(b, 40, totalSectors);
    Put64(b, 48, 4);
    b[64] = 0xF6;
    PutSignature(b);
}

// A GPT header with the given entry size (128 in every real one).
inline void PutGptHeader(std::vector<std::uint8_t>& b, std::uint32_t entrySize = 128) {
    PutText(b, 0, "EFI PART");
    Put32(b, 8, 0x00010000);
    Put32(b, 12, 92);
    Put32(b, 80, 128);
    Put32(b, 84, entrySize);
}

// GPT entry `e` of an array sector: a basic-data type GUID and the first sector.
inline void PutGptEntry(std::vector<std::uint8_t>& sector, std::size_t at, std::uint64_t first, std::uint64_t last) {
    static constexpr std::uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                                     0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
    std::memcpy(sector.data() + at, kBasicData, 16);
    sector[at + 16] = 0x11;  // unique GUID: any nonzero bytes
    Put64(sector, at + 32, first);
    Put64(sector, at + 40, last);
}

}  // namespace dravik::test
