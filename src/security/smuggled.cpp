#include "security/smuggled.hpp"

#include "text/decoders.hpp"
#include "text/strip.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::smuggled {
namespace {

constexpr char32_t kWavingBlackFlag = 0x1F3F4;
constexpr char32_t kCancelTag = 0xE007F;
constexpr std::size_t kMinSelectors = 2;
constexpr std::size_t kMinEscapes = 2;
constexpr std::size_t kMinBits = 8;

constexpr bool is_tag_ascii(char32_t cp) noexcept { return cp >= 0xE0020 && cp <= 0xE007E; }

constexpr bool is_variation_selector(char32_t cp) noexcept {
    return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

constexpr unsigned char selector_byte(char32_t cp) noexcept {
    return static_cast<unsigned char>(cp <= 0xFE0F ? cp - 0xFE00 : cp - 0xE0100 + 16);
}

// Characters of a zero-width bit run that carry no bit.
constexpr bool is_bit_separator(char32_t cp) noexcept { return cp == 0x200D || cp == 0x2060 || cp == 0xFEFF; }

constexpr int hex_value(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Characters a printable payload must not hold: controls, direction controls,
// fillers, zero-width and invisible operators, selectors, tags,
// noncharacters.
constexpr bool is_unprintable(char32_t cp) noexcept {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return true;
    if (cp < 0x061C) return false;
    if ((cp & 0xFFFE) == 0xFFFE || (cp >= 0xFDD0 && cp <= 0xFDEF)) return true;
    return cp == 0x061C || cp == 0x115F || cp == 0x1160 || cp == 0x180E || (cp >= 0x200B && cp <= 0x200F) ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x2064) || (cp >= 0x2066 && cp <= 0x2069) ||
           cp == 0x2800 || cp == 0x3164 || (cp >= 0xFE00 && cp <= 0xFE0F) || cp == 0xFEFF || cp == 0xFFA0 ||
           (cp >= 0x1BCA0 && cp <= 0x1BCA3) || (cp >= 0x1D173 && cp <= 0x1D17A) ||
           (cp >= 0xE0000 && cp <= 0xE007F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

// The next byte offset from `i` where a run or a flag can begin: the lead
// bytes of U+200B/U+200C (E2), the selectors U+FE00-FE0F (EF), U+1F3F4
// (F0), plane 14 (F3), and "%" when escapes count. Eight bytes at a time; the
// lowest mark of a word is exact, and continuation bytes are never lead
// bytes, so the offset found is a character boundary.
std::size_t next_candidate(std::string_view text, std::size_t i, bool percent) noexcept {
    const char* p = text.data();
    const std::size_t n = text.size();
    auto wanted = [percent](unsigned char b) {
        return b == 0xE2 || b == 0xEF || b == 0xF0 || b == 0xF3 || (percent && b == '%');
    };
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w = swar::load(p + i);
        if (!percent && (w & swar::kHighBits) == 0) continue;
        std::uint64_t marks = swar::bytes_equal(w, 0xE2) | swar::bytes_equal(w, 0xEF) | swar::bytes_equal(w, 0xF0) |
                              swar::bytes_equal(w, 0xF3) | (percent ? swar::bytes_equal(w, '%') : 0);
        if (marks) return i + swar::first_marked(marks);
    }
    for (; i < n; ++i) {
        if (wanted(static_cast<unsigned char>(p[i]))) return i;
    }
    return n;
}

class Decoder {
public:
    Decoder(std::string_view text, bool percent) : text_(text), percent_(percent) {}

    std::vector<SmuggledPayload> run() {
        std::size_t i = next_candidate(text_, 0, percent_);
        while (i < text_.size()) {
            i = next_candidate(text_, step(i), percent_);
        }
        return std::move(records_);
    }

private:
    char32_t at(std::size_t i) const noexcept { return utf8::decode(text_, i).cp; }

    // Handles the character at i and returns the offset to go on from. A run
    // below its minimum is skipped whole: every later start inside it would
    // see a shorter run of the same kind, and no other carrier starts on its
    // characters.
    std::size_t step(std::size_t i) {
        auto [cp, len] = utf8::decode(text_, i);
        if (cp == kWavingBlackFlag) {
            if (strip::flag_tag_sequence_len(text_.substr(i))) return i + strip::kFlagTagSequenceBytes;
            return i + len;
        }
        if (is_tag_ascii(cp)) return tag_run(i);
        if (is_variation_selector(cp)) return selector_run(i);
        if (cp == '%') return escape_run(i);
        if (cp == 0x200B || cp == 0x200C) return bit_run(i);
        return i + len;
    }

    std::size_t tag_run(std::size_t i) {
        std::string data;
        std::size_t j = i, units = 0;
        for (char32_t cp; j < text_.size() && is_tag_ascii(cp = at(j)); j += 4, ++units) {
            data += static_cast<char>(cp - 0xE0000);
        }
        if (j < text_.size() && at(j) == kCancelTag) {
            j += 4;
            ++units;
        }
        record(SmuggledScheme::TagAscii, std::move(data), i, j, units);
        return j;
    }

    std::size_t selector_run(std::size_t i) {
        std::string data;  // one byte per selector
        std::size_t j = i;
        for (char32_t cp; j < text_.size() && is_variation_selector(cp = at(j)); j += utf8::encoded_len(cp)) {
            data += static_cast<char>(selector_byte(cp));
        }
        if (data.size() < kMinSelectors) return j;
        // VS15 or VS16 right after an ordinary character is most likely its
        // own presentation selector, with the payload after it.
        const char32_t first = at(i);
        if ((first == 0xFE0E || first == 0xFE0F) && data.size() > kMinSelectors && i > 0 &&
            !is_variation_selector(utf8::decode_before(text_, i).cp)) {
            if (auto rest = printable_text(std::string_view(data).substr(1))) {
                data.erase(0, 1);
                std::size_t units = data.size();
                records_.push_back(
                    {std::move(data), std::move(rest), i + 3, j, units, SmuggledScheme::VariationBytes});
                return j;
            }
        }
        std::size_t units = data.size();
        record(SmuggledScheme::VariationBytes, std::move(data), i, j, units);
        return j;
    }

    std::size_t escape_run(std::size_t i) {
        std::string data;
        std::size_t j = i;
        while (j + 2 < text_.size() && text_[j] == '%') {
            int high = hex_value(text_[j + 1]), low = hex_value(text_[j + 2]);
            if (high < 0 || low < 0) break;
            data += static_cast<char>(high << 4 | low);
            j += 3;
        }
        if (data.size() < kMinEscapes) return j == i ? i + 1 : j;
        record(SmuggledScheme::PercentEscape, std::move(data), i, j, j - i);  // three ASCII characters a byte
        return j;
    }

    std::size_t bit_run(std::size_t i) {
        std::string data;
        std::size_t j = i, units = 0, bits = 0;
        unsigned byte = 0;
        while (j < text_.size()) {
            auto [cp, len] = utf8::decode(text_, j);
            if (cp == 0x200B || cp == 0x200C) {
                byte = byte << 1 | (cp == 0x200C);
                if (++bits % 8 == 0) {
                    data += static_cast<char>(byte);
                    byte = 0;
                }
            } else if (!is_bit_separator(cp)) {
                break;
            }
            j += len;
            ++units;
        }
        if (bits < kMinBits) return j;
        record(SmuggledScheme::ZeroWidthBinary, std::move(data), i, j, units);
        return j;
    }

    void record(SmuggledScheme scheme, std::string data, std::size_t start, std::size_t end, std::size_t units) {
        std::optional<std::string> text = printable_text(data);
        records_.push_back({std::move(data), std::move(text), start, end, units, scheme});
    }

    std::string_view text_;
    bool percent_;
    std::vector<SmuggledPayload> records_;
};

}  // namespace

std::string_view scheme_name(SmuggledScheme scheme) noexcept {
    switch (scheme) {
        case SmuggledScheme::TagAscii: return "tag_ascii";
        case SmuggledScheme::VariationBytes: return "variation_bytes";
        case SmuggledScheme::ZeroWidthBinary: return "zero_width_binary";
        case SmuggledScheme::PercentEscape: return "percent_escape";
    }
    return "";
}

std::vector<SmuggledPayload> decode_smuggled(std::string_view text, bool include_percent_escape) {
    return Decoder(text, include_percent_escape).run();
}

std::optional<std::string> printable_text(std::string_view bytes) {
    if (bytes.empty() || !decoders::is_utf8(bytes)) return std::nullopt;
    for (auto [cp, len] : utf8::chars(bytes)) {
        if (is_unprintable(cp)) return std::nullopt;
    }
    return std::string(bytes);
}

}  // namespace kelrad::smuggled
