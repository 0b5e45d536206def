// Punycode decoding (RFC 3492), for the ACE labels of internationalized host
// names ("xn--" followed by the Punycode form).
//
// The decoder follows the RFC's reference algorithm with its overflow checks
// against 32-bit limits, and additionally refuses code points that are not
// Unicode scalar values (above U+10FFFF or surrogates), since the result must
// be well-formed UTF-8.
//
// The reference algorithm inserts every decoded code point into the output
// array at its position, which costs O(n^2) moves on a long label of
// interleaved characters. Here the positions are resolved afterwards: walking
// the insertions from the last to the first, each one takes the k-th slot
// still free in the final array, where k is its insertion index, since the
// only elements inserted after it are exactly those that took slots before
// it. A Fenwick tree over the free slots finds the k-th one in O(log n), so
// decoding is O(n log n) in the label's length.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace kelrad::punycode {

enum class DecodeError : std::uint8_t {
    NonBasic,          // a byte of the basic part is not ASCII
    BadDigit,          // a byte of the extended part is not a base-36 digit
    Truncated,         // the input ends inside a variable-length integer
    Overflow,          // a value exceeds 32 bits
    InvalidCodePoint,  // a decoded code point above U+10FFFF or a surrogate
};

// Decodes `input` (the Punycode form, without an ACE prefix) and appends the
// result to `out` as UTF-8. Digits are case-insensitive; basic code points
// keep their case. On an error `out` is left as it was.
std::expected<void, DecodeError> decode(std::string_view input, std::string& out);

}  // namespace kelrad::punycode
