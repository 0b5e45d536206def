// Encoding detection and decoding of byte strings.
//
// `detect_encoding` names the encoding of bytes of unknown origin: byte order
// marks and the NUL pattern of UTF-16 first, then ASCII, ISO-2022-JP and
// UTF-8 (also UTF-8 cut inside its last character), and only then uchardet's
// statistical guess. Every name is a canonical name of the WHATWG Encoding
// Standard, and the confidence is the fixed value 0.95, not a measurement.
//
// `decode_to_utf8` decodes with a named or a detected encoding through the
// Standard's decoders, with byte order marks handled as the caller of each
// kind expects, and reports whether anything had to be replaced.
#pragma once

#include <array>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "tables/encodings.hpp"
#include "text/error.hpp"

namespace kelrad::encoding {

using tables::Encoding;

struct DetectedEncoding {
    Encoding encoding;
    double confidence;

    std::string_view name() const noexcept;
};

// The names an unknown label is compared with to suggest a correction.
inline constexpr std::array<std::string_view, 20> ENCODING_SUGGESTIONS = {
    "utf-8",      "utf-16le",    "utf-16be", "windows-1250", "windows-1251", "windows-1252", "windows-1254",
    "iso-8859-1", "iso-8859-2",  "iso-8859-15", "koi8-r",    "koi8-u",       "shift_jis",    "euc-jp",
    "iso-2022-jp", "euc-kr",     "big5",     "gbk",          "gb18030",      "macintosh",
};

DetectedEncoding detect_encoding(std::string_view data);

// What a decode reads: the encoding and the bytes left once a byte order mark
// has been dealt with.
struct DecodeInput {
    Encoding encoding;
    std::string_view bytes;
};

// Checks `min_confidence` (0.0 to 1.0), then resolves `label`, or detects the
// encoding when there is none, and applies the byte-order-mark rules.
std::expected<DecodeInput, CoreError> decode_input(std::string_view data, std::optional<std::string_view> label,
                                                   double min_confidence);

struct DecodedText {
    std::string text;
    bool had_errors;  // malformed or unmappable input was replaced by U+FFFD
};

std::expected<DecodedText, CoreError> decode_to_utf8(std::string_view data, std::optional<std::string_view> label,
                                                     double min_confidence, bool strict);

// The error of a strict decode that had to replace input, naming the
// encoding actually used.
CoreError lossy_decode(Encoding used);

}  // namespace kelrad::encoding
