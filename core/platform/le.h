// Bounds-checked little-endian field access over untrusted bytes.
//
// Every decoder of on-disk structures reads through these helpers: no struct
// casts, no unchecked pointer arithmetic. A read that would leave the buffer
// yields std::nullopt (or the caller's fallback), never undefined behaviour.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace dravik::platform {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

// True when [off, off + len) lies inside a buffer of `size` bytes, without
// overflowing on hostile offsets.
constexpr bool InRange(std::size_t size, std::uint64_t off, std::uint64_t len) noexcept {
    return off <= size && len <= size - off;
}

template <std::unsigned_integral T>
constexpr std::optional<T> Le(Bytes b, std::uint64_t off) noexcept {
    if (!InRange(b.size(), off, sizeof(T))) return std::nullopt;
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<T>(v | (T(b[off + i]) << (8 * i)));
    return v;
}

// Reads with a neutral fallback (0 unless given), for decoders whose callers
// only want "not found" semantics.
constexpr std::uint8_t U8(Bytes b, std::uint64_t off, std::uint8_t def = 0) noexcept {
    return Le<std::uint8_t>(b, off).value_or(def);
}
constexpr std::uint16_t U16(Bytes b, std::uint64_t off, std::uint16_t def = 0) noexcept {
    return Le<std::uint16_t>(b, off).value_or(def);
}
constexpr std::uint32_t U32(Bytes b, std::uint64_t off, std::uint32_t def = 0) noexcept {
    return Le<std::uint32_t>(b, off).value_or(def);
}
constexpr std::uint64_t U64(Bytes b, std::uint64_t off, std::uint64_t def = 0) noexcept {
    return Le<std::uint64_t>(b, off).value_or(def);
}

// Unsigned little-endian value of `width` (0..8) bytes; nullopt when out of range.
constexpr std::optional<std::uint64_t> LeVar(Bytes b, std::uint64_t off, unsigned width) noexcept {
    if (width > 8 || !InRange(b.size(), off, width)) return std::nullopt;
    std::uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= std::uint64_t(b[off + i]) << (8 * i);
    return v;
}

// Compares `text` (ASCII) with the bytes at `off`.
constexpr bool BytesEqual(Bytes b, std::uint64_t off, std::string_view text) noexcept {
    if (!InRange(b.size(), off, text.size())) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (b[off + i] != static_cast<std::uint8_t>(text[i])) return false;
    return true;
}

// UTF-16LE string of `chars` code units at `off`; nullopt when it would leave
// the buffer.
inline std::optional<std::u16string> Utf16At(Bytes b, std::uint64_t off, std::size_t chars) {
    if (!InRange(b.size(), off, std::uint64_t(chars) * 2)) return std::nullopt;
    std::u16string s(chars, u'\0');
    for (std::size_t i = 0; i < chars; ++i)
        s[i] = static_cast<char16_t>(b[off + 2 * i] | (b[off + 2 * i + 1] << 8));
    return s;
}

inline void PutLe16(MutableBytes b, std::size_t off, std::uint16_t v) noexcept {
    if (!InRange(b.size(), off, 2)) return;
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace dravik::platform
