// Builds small NTFS structures byte by byte for decoder edge cases that the
// real images do not hold (malformed fields, rare encodings).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravik::test {

inline void Put(std::vector<std::uint8_t>& b, std::size_t off, std::uint64_t v, int width) {
    if (b.size() < off + width) b.resize(off + width);
    for (int i = 0; i < width; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void PutName(std::vector<std::uint8_t>& b, std::size_t off, const std::u16string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) Put(b, off + 2 * i, s[i], 2);
}

inline std::vector<std::uint8_t> StandardInformationValue(std::uint64_t created, std::uint64_t modified,
                                                          std::uint64_t accessed) {
    std::vector<std::uint8_t> v(0x48, 0);
    Put(v, 0x00, created, 8);
    Put(v, 0x08, modified, 8);
    Put(v, 0x10, modified, 8);
    Put(v, 0x18, accessed, 8);
    return v;
}

inline std::vector<std::uint8_t> FileNameValue(std::uint32_t parent, const std::u16string& name, std::uint8_t space,
                                               std::uint32_t fileAttributes = 0) {
    std::vector<std::uint8_t> v(0x42 + 2 * name.size(), 0);
    Put(v, 0x00, parent, 4);
    Put(v, 0x06, 1, 2);  // sequence number
    Put(v, 0x38, fileAttributes, 4);
    v[0x40] = static_cast<std::uint8_t>(name.size());
    v[0x41] = space;
    PutName(v, 0x42, name);
    return v;
}

// A FILE record with attributes appended in order and the update sequence
// applied on Finish(), as the disk holds it.
class RecordBuilder {
public:
    explicit RecordBuilder(std::uint16_t flags = 1, std::size_t size = 1024, std::uint16_t allocatedField = 1024)
        : rec_(size, 0) {
        Put(rec_, 0, 0x454C4946, 4);             // "FILE"
        Put(rec_, 0x04, 0x30, 2);                // update sequence offset
        Put(rec_, 0x06, size / 512 + 1, 2);      // entries: the number + one per 512 bytes
        next_ = Align8(0x30 + 2 * (size / 512 + 1));
        Put(rec_, 0x14, next_, 2);               // first attribute, after the update sequence
        Put(rec_, 0x16, flags, 2);
        Put(rec_, 0x1C, allocatedField, 4);
    }

    std::size_t AddResident(std::uint32_t type, const std::vector<std::uint8_t>& value,
                            const std::u16string& name = u"") {
        const std::size_t at = next_;
        const std::size_t valueOffset = Align8(0x18 + 2 * name.size());
        const std::size_t length = Align8(valueOffset + value.size());
        Put(rec_, at, type, 4);
        Put(rec_, at + 4, length, 4);
        rec_[at + 8] = 0;
        rec_[at + 9] = static_cast<std::uint8_t>(name.size());
        Put(rec_, at + 0x0A, 0x18, 2);
        Put(rec_, at + 0x10, value.size(), 4);
        Put(rec_, at + 0x14, valueOffset, 2);
        PutName(rec_, at + 0x18, name);
        for (std::size_t i = 0; i < value.size(); ++i) rec_[at + valueOffset + i] = value[i];
        next_ += length;
        return at;
    }

    std::size_t AddNonResident(std::uint32_t type, const std::vector<std::uint8_t>& pairs, std::uint64_t realSize,
                               const std::u16string& name = u"", std::uint64_t lowestVcn = 0) {
        const std::size_t at = next_;
        const std::size_t pairsOffset = Align8(0x40 + 2 * name.size());
        const std::size_t length = Align8(pairsOffset + pairs.size() + 1);
        Put(rec_, at, type, 4);
        Put(rec_, at + 4, length, 4);
        rec_[at + 8] = 1;
        rec_[at + 9] = static_cast<std::uint8_t>(name.size());
        Put(rec_, at + 0x0A, 0x40, 2);
        Put(rec_, at + 0x10, lowestVcn, 8);
        Put(rec_, at + 0x20, pairsOffset, 2);
        Put(rec_, at + 0x28, (realSize + 4095) / 4096 * 4096, 8);
        Put(rec_, at + 0x30, realSize, 8);
        Put(rec_, at + 0x38, realSize, 8);
        PutName(rec_, at + 0x40, name);
        for (std::size_t i = 0; i < pairs.size(); ++i) rec_[at + pairsOffset + i] = pairs[i];
        next_ += length;
        return at;
    }

    // Writes the end marker and protects every 512-byte block with the
    // update sequence number.
    std::vector<std::uint8_t> Finish(std::uint16_t usn = 0x0007) {
        Put(rec_, next_, 0xFFFFFFFF, 4);
        Put(rec_, 0x18, next_ + 8, 4);
        Put(rec_, 0x30, usn, 2);
        for (std::size_t k = 0; k < rec_.size() / 512; ++k) {
            rec_[0x32 + 2 * k] = rec_[512 * k + 510];
            rec_[0x33 + 2 * k] = rec_[512 * k + 511];
            Put(rec_, 512 * k + 510, usn, 2);
        }
        return rec_;
    }

    std::vector<std::uint8_t>& Bytes() { return rec_; }

private:
    static std::size_t Align8(std::size_t v) { return (v + 7) & ~std::size_t(7); }
    std::vector<std::uint8_t> rec_;
    std::size_t next_;
};

}  // namespace dravik::test
