#include "text/strip.hpp"

#include <array>
#include <cstdint>
#include <cstring>

#include "util/utf8.hpp"

namespace kelrad::strip {
namespace {

constexpr char32_t kWavingBlackFlag = 0x1F3F4;
constexpr char32_t kCancelTag = 0xE007F;

constexpr bool is_collapse_whitespace(char32_t cp) noexcept {
    switch (cp) {
        case 0x0085: case 0x00A0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
        case 0x115F: case 0x1160: case 0x2800: case 0x3164: case 0xFFA0:
            return true;
        default:
            return (cp >= 0x09 && cp <= 0x0D) || (cp >= 0x1C && cp <= 0x20) || (cp >= 0x2000 && cp <= 0x200A);
    }
}

constexpr bool is_zero_width(char32_t cp) noexcept {
    return (cp >= 0x200B && cp <= 0x200D) || cp == 0x180E || (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF ||
           (cp >= 0x1BCA0 && cp <= 0x1BCA3) || (cp >= 0x1D173 && cp <= 0x1D17A);
}

constexpr bool is_tag(char32_t cp) noexcept { return cp >= 0xE0000 && cp <= 0xE007F; }

// Only the lower-case tag letters spell subdivision codes.
constexpr bool is_tag_letter(char32_t cp) noexcept { return cp >= 0xE0061 && cp <= 0xE007A; }

constexpr bool is_private_use(char32_t cp) noexcept {
    return (cp >= 0xE000 && cp <= 0xF8FF) || (cp >= 0xF0000 && cp <= 0xFFFFD) || (cp >= 0x100000 && cp <= 0x10FFFD);
}

constexpr bool is_noncharacter(char32_t cp) noexcept {
    return (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
}

constexpr bool is_variation_selector(char32_t cp) noexcept {
    return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

constexpr bool is_bidi_or_invisible_format(char32_t cp) noexcept {
    return cp == 0x00AD || cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x206F) || (cp >= 0xFFF9 && cp <= 0xFFFB);
}

// A selector after one of these would select nothing visible, so the
// format strip drops it even when it keeps emoji presentation selectors.
constexpr bool is_invisible_before_selector(char32_t cp) noexcept {
    return cp <= 0x20 || (cp >= 0x7F && cp <= 0x9F) || is_collapse_whitespace(cp) || is_zero_width(cp);
}

// The three subdivision flags of UTS #51 that have emoji tag sequences.
bool is_flag_spelling(const char (&letters)[5]) noexcept {
    return std::memcmp(letters, "gbeng", 5) == 0 || std::memcmp(letters, "gbsct", 5) == 0 ||
           std::memcmp(letters, "gbwls", 5) == 0;
}

// Copies `text` to `out` without the code points `drop` selects. ASCII is
// never dropped, so a pure-ASCII text is copied at once and ASCII runs are
// skipped eight bytes at a time; kept stretches are copied in one append.
template <class Drop>
void drop_non_ascii(std::string_view text, std::string& out, Drop drop) {
    out.clear();
    std::size_t i = utf8::ascii_prefix_len(text);
    if (i == text.size()) {
        out.append(text);
        return;
    }
    out.reserve(text.size());
    std::size_t kept = 0;  // start of the stretch not yet copied
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            i += utf8::ascii_prefix_len(text.substr(i));
            continue;
        }
        auto [cp, len] = utf8::decode(text, i);
        if (drop(cp)) {
            out.append(text.data() + kept, i - kept);
            kept = i + len;
        }
        i += len;
    }
    out.append(text.data() + kept, text.size() - kept);
}

// Bytes that strip_control_chars must look at: the removed C0 controls and
// DEL, and 0xC2, the lead byte of every C1 control.
constexpr std::array<bool, 256> kControlScanBytes = [] {
    std::array<bool, 256> t{};
    for (int b = 0x00; b <= 0x08; ++b) t[b] = true;
    for (int b = 0x0E; b <= 0x1B; ++b) t[b] = true;
    t[0x7F] = true;
    t[0xC2] = true;
    return t;
}();

// True when some byte of the word is below 0x20 or at least 0x7F: ordinary
// printable ASCII words skip the byte-wise scan. (Borrows may flag a byte
// above a flagged one; that only sends the word to the byte-wise scan.)
inline bool word_has_control_or_high(std::uint64_t w) noexcept {
    constexpr std::uint64_t k01 = 0x0101010101010101ULL, k20 = 0x2020202020202020ULL;
    return (((w - k20) & ~w) | w | (w + k01)) & utf8::kHighBits;
}

}  // namespace

void collapse_whitespace(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    bool started = false;      // a non-whitespace character has been written
    bool after_space = false;  // the last thing written is a collapsing space
    std::size_t kept = 0;      // start of the stretch that is copied as it stands
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        char32_t cp = b;
        std::size_t len = 1;
        if (b >= 0x80) {
            auto d = utf8::decode(text, i);
            cp = d.cp;
            len = d.len;
        }
        if (!is_collapse_whitespace(cp)) {
            started = true;
            after_space = false;
            i += len;
            continue;
        }
        bool write_space = started && !after_space;
        // A lone U+0020 between words is its own result; anything else ends
        // the copied stretch.
        if (!(write_space && cp == 0x20)) {
            out.append(text.data() + kept, i - kept);
            if (write_space) out.push_back(' ');
            kept = i + len;
        }
        if (write_space) after_space = true;
        i += len;
    }
    out.append(text.data() + kept, text.size() - kept);
    // Every U+0020 in `out` is a collapsing space, so a final one is trailing
    // whitespace.
    if (!out.empty() && out.back() == ' ') out.pop_back();
}

void strip_control_chars(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    const char* p = text.data();
    const std::size_t n = text.size();
    std::size_t kept = 0;
    std::size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (!word_has_control_or_high(w)) {
                i += 8;
                continue;
            }
        }
        unsigned char b = static_cast<unsigned char>(p[i]);
        if (!kControlScanBytes[b]) {
            ++i;  // continuation bytes are 0x80-0xBF, never 0xC2
            continue;
        }
        std::size_t len = 1;
        if (b == 0xC2) {
            unsigned char c = static_cast<unsigned char>(p[i + 1]);
            len = 2;
            if (c > 0x9F || c == 0x85) {  // U+00A0-00BF, or NEL, which stays
                i += 2;
                continue;
            }
        }
        out.append(p + kept, i - kept);
        i += len;
        kept = i;
    }
    out.append(p + kept, n - kept);
}

void strip_zero_width_chars(std::string_view text, std::string& out) { drop_non_ascii(text, out, is_zero_width); }

void strip_bidi(std::string_view text, std::string& out) { drop_non_ascii(text, out, is_bidi_or_invisible_format); }

void strip_pua(std::string_view text, std::string& out) { drop_non_ascii(text, out, is_private_use); }

void strip_noncharacters(std::string_view text, std::string& out) { drop_non_ascii(text, out, is_noncharacter); }

void strip_variation_selectors(std::string_view text, std::string& out) {
    drop_non_ascii(text, out, is_variation_selector);
}

std::size_t take_flag_tag_sequence(std::string_view text, std::size_t pos, std::string& out) {
    char letters[5] = {};
    std::size_t count = 0;
    std::size_t i = pos;
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (!is_tag_letter(cp)) {
            if (cp == kCancelTag && count == 5 && is_flag_spelling(letters)) {
                out.append(text.data() + pos, i + len - pos);
                return i + len;
            }
            return i;
        }
        if (count < 5) letters[count] = static_cast<char>(cp - 0xE0000);
        ++count;
        i += len;
    }
    return i;
}

std::string strip_tags(std::string_view text) {
    std::string out;
    std::size_t i = utf8::ascii_prefix_len(text);
    if (i == text.size()) return std::string(text);
    out.reserve(text.size());
    std::size_t kept = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            i += utf8::ascii_prefix_len(text.substr(i));
            continue;
        }
        auto [cp, len] = utf8::decode(text, i);
        if (cp == kWavingBlackFlag) {
            i += len;
            out.append(text.data() + kept, i - kept);
            i = kept = take_flag_tag_sequence(text, i, out);
            continue;
        }
        if (is_tag(cp)) {
            out.append(text.data() + kept, i - kept);
            kept = i + len;
        }
        i += len;
    }
    out.append(text.data() + kept, text.size() - kept);
    return out;
}

void strip_format_chars(std::string_view text, bool strip_private_use, bool keep_emoji_vs, std::string& out) {
    out.clear();
    std::size_t i = utf8::ascii_prefix_len(text);
    if (i == text.size()) {
        out.append(text);
        return;
    }
    out.reserve(text.size());
    std::size_t kept = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            i += utf8::ascii_prefix_len(text.substr(i));
            continue;
        }
        auto [cp, len] = utf8::decode(text, i);
        if (cp == kWavingBlackFlag) {
            i += len;
            out.append(text.data() + kept, i - kept);
            i = kept = take_flag_tag_sequence(text, i, out);
            continue;
        }
        bool drop = cp == 0x034F || is_tag(cp) || is_noncharacter(cp) || (cp >= 0x1D173 && cp <= 0x1D17A) ||
                    (cp >= 0x1BCA0 && cp <= 0x1BCA3) || (strip_private_use && is_private_use(cp));
        if (!drop && is_variation_selector(cp)) {
            drop = true;
            if (keep_emoji_vs && (cp == 0xFE0E || cp == 0xFE0F)) {
                // Judged against what was kept, not against the input.
                out.append(text.data() + kept, i - kept);
                kept = i;
                drop = out.empty() || is_invisible_before_selector(utf8::decode_before(out, out.size()).cp);
            }
        }
        if (drop) {
            out.append(text.data() + kept, i - kept);
            kept = i + len;
        }
        i += len;
    }
    out.append(text.data() + kept, text.size() - kept);
}

std::optional<std::size_t> flag_tag_sequence_len(std::span<const char32_t> chars) {
    if (chars.size() < kFlagTagSequenceLen || chars[0] != kWavingBlackFlag || chars[6] != kCancelTag) {
        return std::nullopt;
    }
    char letters[5];
    for (std::size_t k = 0; k < 5; ++k) {
        if (!is_tag_letter(chars[k + 1])) return std::nullopt;
        letters[k] = static_cast<char>(chars[k + 1] - 0xE0000);
    }
    if (!is_flag_spelling(letters)) return std::nullopt;
    return kFlagTagSequenceLen;
}

std::optional<std::size_t> flag_tag_sequence_len(std::string_view text) {
    char32_t chars[kFlagTagSequenceLen];
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size() && count < kFlagTagSequenceLen; ++count) {
        auto [cp, len] = utf8::decode(text, i);
        chars[count] = cp;
        i += len;
    }
    return flag_tag_sequence_len(std::span<const char32_t>(chars, count));
}

}  // namespace kelrad::strip
