// Eight bytes at a time in a 64-bit word: the scans that look for a few byte
// values before decoding anything.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelrad::swar {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// The eight bytes at p as a word whose lowest byte is p[0], on any machine,
// so that the lowest marked byte is the first in the text.
inline std::uint64_t load(const void* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::big) w = std::byteswap(w);
    return w;
}

// 0x80 in each zero byte of w. The lowest mark is exact; a borrow may also
// mark a byte above a zero one, but no zero byte goes unmarked.
constexpr std::uint64_t zero_bytes(std::uint64_t w) noexcept { return (w - kOnes) & ~w & kHighBits; }

// 0x80 in each byte of w equal to b, with the same caveat.
constexpr std::uint64_t bytes_equal(std::uint64_t w, unsigned char b) noexcept { return zero_bytes(w ^ (kOnes * b)); }

// 0x80 in each byte of w below `bound` (at most 0x80), with the same caveat.
constexpr std::uint64_t bytes_below(std::uint64_t w, unsigned char bound) noexcept {
    return (w - kOnes * bound) & ~w & kHighBits;
}

// The offset of the lowest marked byte; marks must not be 0.
constexpr std::size_t first_marked(std::uint64_t marks) noexcept {
    return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
}

}  // namespace kelrad::swar
