#include "analysis/fat_dir.h"

#include <array>

namespace dravik::analysis::fat {

using platform::U16;
using platform::U8;

std::string ShortName(Bytes e) {
    // Names that differ from their 8.3 form only by lower case get no long
    // name: two flags in byte 12 say which part is shown in lower case.
    const std::uint8_t caseFlags = U8(e, 12);
    auto add = [](std::string& out, std::uint8_t c, bool lower) {
        if (lower && c >= 'A' && c <= 'Z') c = static_cast<std::uint8_t>(c - 'A' + 'a');
        out += static_cast<char>(c);
    };
    std::string name;
    for (std::size_t i = 0; i < 8 && i < e.size(); ++i)
        if (e[i] != ' ') add(name, e[i], caseFlags & 0x08);
    if (!name.empty() && U8(e, 0) == kDeletedMark) name[0] = '_';
    // A name that really begins with byte 0xE5 (a lead byte of many Shift-JIS
    // names) is stored with 0x05, which does not mean deleted.
    if (!name.empty() && U8(e, 0) == kEscapedE5) name[0] = static_cast<char>(kDeletedMark);
    if (e.size() > 8 && e[8] != ' ') {
        name += '.';
        for (std::size_t i = 8; i < 11 && i < e.size(); ++i)
            if (e[i] != ' ') add(name, e[i], caseFlags & 0x10);
    }
    return name;
}

std::uint32_t FirstCluster(Bytes e, bool fat32) {
    const std::uint32_t low = U16(e, entry::kClusterLow);
    return fat32 ? (std::uint32_t(U16(e, entry::kClusterHigh)) << 16) | low : low;
}

std::uint64_t ModifiedTime(Bytes e) {
    return U16(e, entry::kWriteDate) | (std::uint64_t(U16(e, entry::kWriteTime)) << 32);
}
std::uint64_t CreatedTime(Bytes e) {
    return U16(e, entry::kCreationDate) | (std::uint64_t(U16(e, entry::kCreationTime)) << 32);
}
std::uint64_t AccessedTime(Bytes e) { return U16(e, entry::kAccessDate); }

bool StartsWithDotEntries(Bytes s) {
    return s.size() >= 64 && s[0] == '.' && s[1] == ' ' && s[32] == '.' && s[33] == '.' && s[34] == ' ';
}

namespace {
bool Forbidden(char32_t c) {
    if (c >= 1 && c <= 31) return true;
    switch (c) {
        case '"': case '\\': case '/': case '?': case '*': case '<': case '>': case '|':
            return true;
        default:
            return false;
    }
}
}  // namespace

bool IsPlausibleName(std::string_view name) {
    for (char c : name)
        if (Forbidden(static_cast<unsigned char>(c))) return false;
    return true;
}

bool IsPlausibleName(std::u16string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (Forbidden(c)) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool LooksLikeDirectoryCluster(Bytes cluster, std::uint64_t clusterLimit, bool fat32) {
    bool any = false;
    for (std::size_t at = 0; at + kEntrySize <= cluster.size(); at += kEntrySize) {
        const Bytes e = cluster.subspan(at, kEntrySize);
        if (e[0] == 0) return any;
        any = true;
        const std::uint8_t attributes = e[entry::kAttributes];
        if (attributes == kAttrLongName) {
            if (e[12] != 0 || U16(e, 26) != 0) return false;  // fixed zeros of a long-name part
            continue;
        }
        if (attributes & 0xC0) return false;
        if (e[12] & ~0x18) return false;
        for (std::size_t i = 0; i < 11; ++i)
            if (e[i] < 0x20 && !(i == 0 && e[i] == 0x05)) return false;
        const std::string name = ShortName(e);
        if (!IsPlausibleName(std::string_view(name))) return false;
        if (FirstCluster(e, fat32) >= clusterLimit) return false;
        const std::uint16_t date = U16(e, entry::kWriteDate);
        const unsigned month = (date >> 5) & 0x0F;
        if (date != 0 && (month < 1 || month > 12)) return false;
    }
    return any;
}

bool HasEndOfDirectory(Bytes dir) {
    for (std::size_t at = 0; at < dir.size(); at += kEntrySize)
        if (dir[at] == 0) return true;
    return false;
}

std::uint8_t ShortNameChecksum(Bytes n) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 11 && i < n.size(); ++i)
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + n[i]);
    return sum;
}

std::optional<std::u16string> ReadLongName(Bytes dir, std::size_t index) {
    const std::size_t at = index * kEntrySize;
    if (index == 0 || !platform::InRange(dir.size(), at, kEntrySize)) return std::nullopt;
    const Bytes shortEntry = dir.subspan(at, kEntrySize);
    const bool deleted = shortEntry[0] == kDeletedMark;
    // The checksums the parts may carry: one for a live entry, one per
    // possible first byte for a deleted one.
    std::array<bool, 256> accepted{};
    {
        std::array<std::uint8_t, 11> name{};
        for (std::size_t i = 0; i < 11; ++i) name[i] = shortEntry[i];
        if (!deleted) {
            accepted[ShortNameChecksum(name)] = true;
        } else {
            for (int first = 0; first < 256; ++first) {
                name[0] = static_cast<std::uint8_t>(first);
                accepted[ShortNameChecksum(name)] = true;
            }
        }
    }
    static constexpr std::size_t kOffsets[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    auto isPart = [&](std::size_t i) { return dir[i * kEntrySize + entry::kAttributes] == kAttrLongName; };
    std::u16string name;
    int checksum = -1;
    for (std::size_t i = index; i-- > 0;) {
        const Bytes part = dir.subspan(i * kEntrySize, kEntrySize);
        if (!isPart(i)) break;
        const std::uint8_t sum = part[13];
        if (!accepted[sum] || (checksum >= 0 && sum != checksum)) break;  // a part of another entry
        checksum = sum;
        const bool lastPart = deleted ? i == 0 || !isPart(i - 1) : (part[0] & 0x40) != 0;
        for (std::size_t k = 0; k < std::size(kOffsets); ++k) {
            const char16_t c = U16(part, kOffsets[k]);
            if (c == 0) {
                // The terminator is followed by padding only (or ends the
                // last part); a zero with more of the name after it is a
                // character of the name (made safe when the file is written).
                bool padding = k + 1 < std::size(kOffsets) || lastPart;
                for (std::size_t r = k + 1; r < std::size(kOffsets) && padding; ++r) {
                    const char16_t p = U16(part, kOffsets[r]);
                    padding = p == 0 || p == 0xFFFF;
                }
                if (padding) return name;
            }
            name += c;
        }
        if (name.size() > 255) return name;
        if (!deleted && (part[0] & 0x40)) return name;
        if (deleted && i > 0 && dir[(i - 1) * kEntrySize + entry::kAttributes] != kAttrLongName) return name;
    }
    if (name.empty() || name.size() % 13 != 0) return std::nullopt;
    // A part of another entry may have cut the name after a zero.
    while (!name.empty() && name.back() == 0) name.pop_back();
    if (name.empty()) return std::nullopt;
    return name;
}

}  // namespace dravik::analysis::fat
