#include "text/encoding.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/charset_detector.hpp"
#include "text/decoders.hpp"
#include "text/utils.hpp"
#include "util/ascii.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::encoding {
namespace {

// Every path of detection reports this; it is not a measurement.
constexpr double kConfidence = 0.95;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

std::string_view without_prefix(std::string_view data, std::string_view prefix) noexcept {
    return data.starts_with(prefix) ? data.substr(prefix.size()) : data;
}

struct ZeroBytes {
    std::size_t even = 0, odd = 0;  // zero bytes at even and at odd offsets
};

ZeroBytes count_zero_bytes(std::string_view data) noexcept {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const char* p = data.data();
    std::size_t n = data.size(), i = 0;
    ZeroBytes z;
    while (n - i >= 8) {
        // Byte k of `lanes` counts the zero bytes at offsets k modulo 8; it is
        // emptied before it can pass 255.
        std::uint64_t lanes = 0;
        std::size_t stop = i + 8 * std::min<std::size_t>((n - i) / 8, 255);
        for (; i < stop; i += 8) {
            std::uint64_t w = swar::load(p + i);
            // 0x80 in exactly the zero bytes: no carry crosses a byte here.
            lanes += (~(((w & kLow7) + kLow7) | w) & swar::kHighBits) >> 7;
        }
        for (unsigned k = 0; k < 8; ++k) (k % 2 ? z.odd : z.even) += (lanes >> (8 * k)) & 0xFF;
    }
    for (; i < n; ++i) {
        if (p[i] == 0) ++(i % 2 ? z.odd : z.even);
    }
    return z;
}

// UTF-16 without a byte order mark, from an even number of bytes (at least
// four). The high bytes of Latin text are zero, so zero bytes fill at least
// half of one parity's positions: odd offsets in little-endian, even ones in
// big-endian. With none at the other parity that is enough. A few there are
// low bytes of units such as U+4E00, U+0100 or the trail surrogate of U+1F600;
// they are accepted when they are at most an eighth as many as the high ones
// (never so in zero-filled data or evenly spread zero bytes) and the data is
// well-formed UTF-16 in that byte order (seldom so in other binary data).
std::optional<Encoding> utf16_without_bom(std::string_view data, ZeroBytes z) noexcept {
    bool little_endian = z.odd > z.even;
    std::size_t high = little_endian ? z.odd : z.even, low = little_endian ? z.even : z.odd;
    if (4 * high < data.size() || 8 * low > high) return std::nullopt;
    Encoding e = little_endian ? Encoding::UTF_16LE : Encoding::UTF_16BE;
    if (low == 0 || decoders::decodes_without_error(e, data)) return e;
    return std::nullopt;
}

Encoding detect(std::string_view data) {
    if (data.starts_with(kUtf8Bom)) return Encoding::UTF_8;
    if (data.starts_with(kUtf16LeBom)) return Encoding::UTF_16LE;
    if (data.starts_with(kUtf16BeBom)) return Encoding::UTF_16BE;
    std::size_t n = data.size();
    if (n >= 4 && n % 2 == 0) {
        if (std::optional<Encoding> e = utf16_without_bom(data, count_zero_bytes(data))) return *e;
    }
    std::size_t ascii = utf8::ascii_prefix_len(data);
    if (ascii == n) {
        bool escapes = std::memchr(data.data(), 0x1B, n) != nullptr;
        return escapes && decoders::decodes_without_error(Encoding::ISO_2022_JP, data) ? Encoding::ISO_2022_JP
                                                                                         : Encoding::UTF_8;
    }
    // Well-formed UTF-8, or UTF-8 cut inside its last character (a prefix of a
    // file). The rest starts with a byte from 0x80 up, so a non-empty
    // well-formed part holds a whole multi-byte sequence.
    std::string_view rest = data.substr(ascii);
    decoders::Utf8Check utf8 = decoders::check_utf8(rest);
    if (utf8.valid_up_to == rest.size() || (utf8.truncated && utf8.valid_up_to > 0)) return Encoding::UTF_8;
    return charset_detector::guess(data);
}

// A label of the Standard (surrounding ASCII whitespace and ASCII case
// ignored). The labels of the replacement encoding are refused like unknown
// ones: its decoder would turn any document into a single U+FFFD.
std::optional<Encoding> lookup_label(std::string_view label) noexcept {
    std::optional<Encoding> e = decoders::get_encoding(label);
    if (e == Encoding::replacement) return std::nullopt;
    return e;
}

bool label_equals(std::string_view label, std::string_view lower) noexcept {
    return ascii::equal_ignoring_case(decoders::trim_label(label), lower);
}

}  // namespace

std::string_view DetectedEncoding::name() const noexcept { return decoders::name(encoding); }

DetectedEncoding detect_encoding(std::string_view data) { return {detect(data), kConfidence}; }

std::expected<DecodeInput, CoreError> decode_input(std::string_view data, std::optional<std::string_view> label,
                                                   double min_confidence) {
    // Written so that NaN fails too.
    if (!(min_confidence >= 0.0 && min_confidence <= 1.0)) return fail(error::MinConfidenceOutOfRange{min_confidence});
    if (!label) {
        DetectedEncoding d = detect_encoding(data);
        if (d.confidence < min_confidence) {
            return fail(error::EncodingConfidenceTooLow{d.confidence, min_confidence, std::string(d.name())});
        }
        // A byte order mark overrides the guess.
        if (data.starts_with(kUtf8Bom)) return DecodeInput{Encoding::UTF_8, data.substr(3)};
        if (data.starts_with(kUtf16LeBom)) return DecodeInput{Encoding::UTF_16LE, data.substr(2)};
        if (data.starts_with(kUtf16BeBom)) return DecodeInput{Encoding::UTF_16BE, data.substr(2)};
        return DecodeInput{d.encoding, data};
    }
    std::optional<Encoding> e = lookup_label(*label);
    if (!e) {
        std::string suggestion = error::did_you_mean(utils::closest_candidate(*label, ENCODING_SUGGESTIONS));
        return fail(error::UnknownEncoding{std::string(*label), std::move(suggestion)});
    }
    switch (*e) {
        case Encoding::UTF_8: return DecodeInput{*e, without_prefix(data, kUtf8Bom)};
        case Encoding::UTF_16BE: return DecodeInput{*e, without_prefix(data, kUtf16BeBom)};
        case Encoding::UTF_16LE:
            // A label that only says "UTF-16" ("utf-16", "unicode", "ucs-2",
            // ...) follows a big-endian byte order mark; one that names the
            // byte order does not.
            if (!label_equals(*label, "utf-16le") && !label_equals(*label, "unicodefeff") &&
                data.starts_with(kUtf16BeBom)) {
                return DecodeInput{Encoding::UTF_16BE, data.substr(2)};
            }
            return DecodeInput{*e, without_prefix(data, kUtf16LeBom)};
        default: return DecodeInput{*e, data};
    }
}

std::expected<DecodedText, CoreError> decode_to_utf8(std::string_view data, std::optional<std::string_view> label,
                                                     double min_confidence, bool strict) {
    auto input = decode_input(data, label, min_confidence);
    if (!input) return std::unexpected(std::move(input.error()));
    DecodedText out;
    out.had_errors = decoders::decode(input->encoding, input->bytes, out.text);
    if (strict && out.had_errors) return std::unexpected(lossy_decode(input->encoding));
    return out;
}

CoreError lossy_decode(Encoding used) { return error::LossyDecode{std::string(decoders::name(used))}; }

}  // namespace kelrad::encoding
