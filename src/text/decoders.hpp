// The decoders of the WHATWG Encoding Standard and its label lookup.
//
// Every decoder follows the Standard's algorithm: malformed or unmappable
// input becomes U+FFFD exactly where the Standard's decoder returns an error
// (error mode "replacement"), bytes it puts back into the stream are read
// again, and an incomplete sequence at the end is one U+FFFD. Nothing here
// sniffs or removes a byte order mark; the callers decide that.
//
// The output is UTF-8 (`char`) for the core, or UTF-16 (`char16_t`) or UTF-32
// (`char32_t`), from which the binding layer builds a str without finding
// character boundaries again. Runs of ASCII
// in ASCII-compatible encodings are copied eight bytes at a time.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tables/encodings.hpp"

namespace kelrad::decoders {

using tables::Encoding;

// The label without surrounding ASCII whitespace (TAB, LF, FF, CR, SPACE).
std::string_view trim_label(std::string_view label) noexcept;

// The Standard's "get an encoding": the trimmed label, matched ASCII
// case-insensitively. The six labels of the
// replacement encoding give Encoding::replacement.
std::optional<Encoding> get_encoding(std::string_view label) noexcept;

// "UTF-8", "windows-1252", "Shift_JIS", ...
inline std::string_view name(Encoding e) noexcept { return tables::ENCODING_NAMES[static_cast<std::size_t>(e)]; }

// True when every byte below 0x80 decodes to itself whatever precedes it, so
// that pure-ASCII input decodes unchanged: all but UTF-16BE/LE, ISO-2022-JP
// and replacement.
bool is_ascii_compatible(Encoding e) noexcept;

// Empties `out`, then appends the decoding of `bytes`. Returns true when
// anything was replaced by U+FFFD.
template <class Unit>
bool decode(Encoding encoding, std::string_view bytes, std::basic_string<Unit>& out);

extern template bool decode<char>(Encoding, std::string_view, std::string&);
extern template bool decode<char16_t>(Encoding, std::string_view, std::u16string&);
extern template bool decode<char32_t>(Encoding, std::string_view, std::u32string&);

// True when `bytes` decode without any replacement; builds no output.
bool decodes_without_error(Encoding encoding, std::string_view bytes) noexcept;

// Where UTF-8 well-formedness (Unicode 3.9, Table 3-7) ends.
struct Utf8Check {
    std::size_t valid_up_to;  // the longest prefix of whole, well-formed sequences
    bool truncated;           // what follows is one sequence, well-formed so far, cut by the end
};

Utf8Check check_utf8(std::string_view bytes) noexcept;

// How many bytes at the start of `bytes` a decoder replaces with one U+FFFD,
// `bytes` being neither empty nor led by a whole well-formed sequence: the
// maximal subpart (Unicode 3.9), a lead byte and the continuation bytes that
// may follow it.
std::size_t maximal_subpart_len(std::string_view bytes) noexcept;

inline bool is_utf8(std::string_view bytes) noexcept { return check_utf8(bytes).valid_up_to == bytes.size(); }

}  // namespace kelrad::decoders
