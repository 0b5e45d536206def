// UTF-8 primitives shared by every module.
//
// The core only ever sees well-formed UTF-8: the binding layer obtains it from
// Python str objects (which cannot hold invalid sequences once surrogates are
// refused) and every transform writes whole scalar values. The decoder below
// therefore trusts its input; it never reads past the end of the view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/swar.hpp"

namespace kelrad::utf8 {

// A decoded scalar value and the number of bytes it occupied.
struct Decoded {
    char32_t cp;
    std::uint32_t len;
};

// Length of the leading pure-ASCII prefix, tested eight bytes at a time.
inline std::size_t ascii_prefix_len(std::string_view s) noexcept {
    const char* p = s.data();
    std::size_t n = s.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t high = swar::load(p + i) & swar::kHighBits;
        if (high) return i + swar::first_marked(high);
    }
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(p[i]) & 0x80) return i;
    }
    return n;
}

inline bool is_ascii(std::string_view s) noexcept { return ascii_prefix_len(s) == s.size(); }

// Decodes the well-formed sequence that starts at p, reading only its bytes.
inline Decoded decode_at(const unsigned char* p) noexcept {
    unsigned char b0 = p[0];
    if (b0 < 0x80) return {b0, 1};
    if (b0 < 0xE0) return {static_cast<char32_t>(((b0 & 0x1F) << 6) | (p[1] & 0x3F)), 2};
    if (b0 < 0xF0) {
        return {static_cast<char32_t>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)), 3};
    }
    return {static_cast<char32_t>(((b0 & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) |
                                  (p[3] & 0x3F)),
            4};
}

// Decodes the scalar value starting at s[i]; i must be a character boundary.
inline Decoded decode(std::string_view s, std::size_t i) noexcept {
    return decode_at(reinterpret_cast<const unsigned char*>(s.data()) + i);
}

// Decodes the scalar value that ends right before s[end]; end must be a
// character boundary greater than zero.
inline Decoded decode_before(std::string_view s, std::size_t end) noexcept {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
    return decode(s, start);
}

inline constexpr std::uint32_t encoded_len(char32_t cp) noexcept {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Writes the UTF-8 form of cp at p, which has room for four bytes, and
// returns its length.
inline std::uint32_t encode_into(char* p, char32_t cp) noexcept {
    std::uint32_t n = encoded_len(cp);
    switch (n) {
        case 1: p[0] = static_cast<char>(cp); break;
        case 2:
            p[0] = static_cast<char>(0xC0 | (cp >> 6));
            p[1] = static_cast<char>(0x80 | (cp & 0x3F));
            break;
        case 3:
            p[0] = static_cast<char>(0xE0 | (cp >> 12));
            p[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            p[2] = static_cast<char>(0x80 | (cp & 0x3F));
            break;
        default:
            p[0] = static_cast<char>(0xF0 | (cp >> 18));
            p[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            p[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            p[3] = static_cast<char>(0x80 | (cp & 0x3F));
            break;
    }
    return n;
}

inline void append(std::string& out, char32_t cp) {
    char buf[4];
    out.append(buf, encode_into(buf, cp));
}

inline std::string encode(char32_t cp) {
    std::string s;
    append(s, cp);
    return s;
}

// Number of scalar values: every byte that is not a continuation byte starts one.
inline std::size_t char_count(std::string_view s) noexcept {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

inline bool is_boundary(std::string_view s, std::size_t i) noexcept {
    return i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
}

// The longest prefix of s of at most max_bytes that ends on a character boundary.
inline std::string_view truncate_at_boundary(std::string_view s, std::size_t max_bytes) noexcept {
    if (s.size() <= max_bytes) return s;
    std::size_t end = max_bytes;
    while (end > 0 && !is_boundary(s, end)) --end;
    return s.substr(0, end);
}

// Iterates the scalar values of a view: `for (auto [cp, len] : utf8::chars(s))`.
class CharRange {
public:
    explicit CharRange(std::string_view s) noexcept : s_(s) {}
    class iterator {
    public:
        iterator(std::string_view s, std::size_t i) noexcept : s_(s), i_(i) {}
        Decoded operator*() const noexcept { return decode(s_, i_); }
        iterator& operator++() noexcept {
            i_ += decode(s_, i_).len;
            return *this;
        }
        bool operator!=(const iterator& o) const noexcept { return i_ != o.i_; }
        std::size_t offset() const noexcept { return i_; }

    private:
        std::string_view s_;
        std::size_t i_;
    };
    iterator begin() const noexcept { return {s_, 0}; }
    iterator end() const noexcept { return {s_, s_.size()}; }

private:
    std::string_view s_;
};

inline CharRange chars(std::string_view s) noexcept { return CharRange(s); }

}  // namespace kelrad::utf8
