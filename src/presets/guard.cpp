#include "presets/guard.hpp"

#include "tables/emoji.hpp"
#include "tables/guard.hpp"
#include "text/case_fold.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::presets::guard {
namespace {

using swar::kHighBits;
using swar::kOnes;

// Exact per-byte tests on a word of ASCII bytes (every high bit clear): no
// sum below can carry out of its byte, so unlike the general SWAR tests no
// byte is ever marked by a neighbour. Each gives 0x80 in the bytes that pass.
constexpr std::uint64_t ascii_at_least(std::uint64_t w, unsigned char b) noexcept {
    return (w + kOnes * (0x80 - b)) & kHighBits;
}
constexpr std::uint64_t ascii_equal(std::uint64_t w, unsigned char b) noexcept {
    return ~((w ^ (kOnes * b)) + kOnes * 0x7F) & kHighBits;
}

// The ASCII whitespace that collapsing rewrites whatever its neighbours: TAB
// to CR and the information separators U+001C-001F.
constexpr bool is_whitespace_control(unsigned b) noexcept {
    return (b >= 0x09 && b <= 0x0D) || (b >= 0x1C && b <= 0x1F);
}

// The plain-range classes of the non-ASCII tests, one bit per spec flag.
constexpr unsigned kControl = 1;
constexpr unsigned kWhitespace = 2;
constexpr unsigned kBidi = 4;
constexpr unsigned kZeroWidth = 8;
constexpr unsigned kFormat = 16;

constexpr bool in(char32_t c, char32_t first, char32_t last) noexcept { return c >= first && c <= last; }

// C1 controls, non-ASCII whitespace (blank fillers included), direction and
// other invisible format controls, zero-width characters, and what the
// format strip removes: tags, variation selectors, private use,
// noncharacters, U+034F.
unsigned special_classes(char32_t c) noexcept {
    if (c < 0x2000) {
        if (c <= 0xA0) return c == 0x85 || c == 0xA0 ? kWhitespace : kControl;
        if (c < 0x34F) return c == 0xAD ? kBidi : 0U;
        if (c == 0x34F) return kFormat;
        if (c == 0x61C) return kBidi;
        if (c == 0x115F || c == 0x1160 || c == 0x1680) return kWhitespace;
        if (c == 0x180E) return kZeroWidth;
        return 0;
    }
    if (c <= 0x206F) {
        if (c <= 0x200A || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F) return kWhitespace;
        if (c <= 0x200D || in(c, 0x2060, 0x2064)) return kZeroWidth;
        if (c <= 0x200F || in(c, 0x202A, 0x202E) || c >= 0x2066) return kBidi;
        return 0;
    }
    if (c < 0xE000) return c == 0x2800 || c == 0x3000 || c == 0x3164 ? kWhitespace : 0U;
    if (c <= 0xF8FF) return kFormat;
    if (c < 0xFDD0) return 0;
    if (c <= 0xFDEF || in(c, 0xFE00, 0xFE0F)) return kFormat;
    if (c == 0xFEFF) return kZeroWidth;
    if (c == 0xFFA0) return kWhitespace;
    if (in(c, 0xFFF9, 0xFFFB)) return kBidi;
    if ((c & 0xFFFE) == 0xFFFE) return kFormat;  // the noncharacters at the end of every plane
    if (in(c, 0x1BCA0, 0x1BCA3) || in(c, 0x1D173, 0x1D17A)) return kZeroWidth | kFormat;
    if (in(c, 0xE0000, 0xE007F) || in(c, 0xE0100, 0xE01EF) || c >= 0xF0000) return kFormat;
    return 0;
}

// What emoji naming may rewrite: a named code point, the first code point of
// a named sequence, the emoji blocks, the joiner, the keycap mark, the
// presentation selectors, the skin tones and the tags.
bool may_be_emoji(char32_t c) noexcept {
    if (in(c, 0x2600, 0x27BF) || in(c, 0x2B50, 0x2B55) || in(c, 0x1F000, 0x1FAFF) || in(c, 0x1FC00, 0x1FFFF) ||
        in(c, 0xE0020, 0xE007F) || in(c, 0xFE00, 0xFE0F) || c == 0x200D || c == 0x20E3) {
        return true;
    }
    const tables::EmojiEntry& entry = tables::emoji_entry(c);
    return entry.name != tables::kNoEmojiName || entry.trie_node != 0;
}

class Scanner {
public:
    Scanner(const GuardSpec& spec, const tables::ConfusableMap* map) noexcept : spec_(spec), map_(map) {
        special_mask_ = (spec.controls ? kControl : 0U) | (spec.whitespace ? kWhitespace : 0U) |
                        (spec.bidi ? kBidi : 0U) | (spec.zero_width ? kZeroWidth : 0U) | (spec.format ? kFormat : 0U);
        props_mask_ = (spec.combining_marks ? tables::kGuardCombining : 0) |
                      (spec.normalization ? tables::kGuardNfkcUnstable : 0);
        // The accents test is the decomposition test with a cap of 0; a
        // count never exceeds 7, so a larger cap never fires.
        if (spec.accents) {
            decomposition_cap_ = 0;
        } else if (spec.zalgo_cap && *spec.zalgo_cap < 7) {
            decomposition_cap_ = static_cast<unsigned>(*spec.zalgo_cap);
        }
    }

    GuardVerdict scan(std::string_view text) noexcept {
        const char* p = text.data();
        const std::size_t n = text.size();
        std::size_t i = 0;
        while (i < n) {
            for (; i + 8 <= n; i += 8) {
                const std::uint64_t w = swar::load(p + i);
                if (w & kHighBits) break;
                if (!ascii_bytes(w, i, 8)) return GuardVerdict::RunPreset;
            }
            if (i == n) break;
            // The next eight bytes, or the last few; the ASCII bytes before
            // the first non-ASCII one are tested together (the rest of the
            // word made neutral), that character on its own.
            std::uint64_t w;
            std::size_t count = n - i;
            if (count >= 8) {
                w = swar::load(p + i);
                count = 8;
            } else if (n >= 8) {
                w = swar::load(p + n - 8) >> (8 * (8 - count));  // the last eight bytes, already seen ones shifted out
            } else {
                w = 0;
                for (std::size_t k = count; k-- > 0;) w = (w << 8) | static_cast<unsigned char>(p[i + k]);
            }
            if (const std::uint64_t high = w & kHighBits & low_bytes(count)) count = swar::first_marked(high);
            if (count > 0) {
                if (!ascii_bytes((w & low_bytes(count)) | (kNeutralWord & ~low_bytes(count)), i, count)) {
                    return GuardVerdict::RunPreset;
                }
                i += count;
                if (i == n || static_cast<unsigned char>(p[i]) < 0x80) continue;
            }
            auto [cp, len] = utf8::decode(text, i);
            if (runs_preset(cp)) return GuardVerdict::RunPreset;
            after_space_ = false;
            i += len;
        }
        if (after_space_) needs_collapse_ = true;  // a trailing space
        return needs_collapse_ ? GuardVerdict::CollapseWhitespaceOnly : GuardVerdict::Canonical;
    }

private:
    // A word of the byte 'a', which no ASCII test stops at.
    static constexpr std::uint64_t kNeutralWord = kOnes * 'a';

    // The mask of the first `count` bytes of a word (count 1 to 8).
    static constexpr std::uint64_t low_bytes(std::size_t count) noexcept {
        return count >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * count)) - 1;
    }

    // False when the byte sends the text to the chain.
    bool ascii_byte(unsigned b, std::size_t i) noexcept {
        if (spec_.controls && ((b < 0x20 && !is_whitespace_control(b)) || b == 0x7F)) return false;
        if (spec_.case_fold && b >= 'A' && b <= 'Z') return false;
        if (spec_.confusables && (b == '"' || b == '`' || b == '|')) return false;
        if (spec_.ascii_digit_lookalikes && (b == '0' || b == '1' || b == 'I')) return false;
        if (spec_.whitespace) {
            if (is_whitespace_control(b) || (b == ' ' && (i == 0 || after_space_))) needs_collapse_ = true;
            after_space_ = b == ' ';
        }
        return true;
    }

    // The `count` ASCII bytes at position i, the rest of the word neutral;
    // false when one of them sends the text to the chain.
    bool ascii_bytes(std::uint64_t w, std::size_t i, std::size_t count) noexcept {
        std::uint64_t stop = 0;
        if (spec_.case_fold) stop |= ascii_at_least(w, 'A') & ~ascii_at_least(w, 'Z' + 1);
        if (spec_.confusables) stop |= ascii_equal(w, '"') | ascii_equal(w, '`') | ascii_equal(w, '|');
        if (spec_.ascii_digit_lookalikes) stop |= ascii_equal(w, '0') | ascii_equal(w, '1') | ascii_equal(w, 'I');
        if (spec_.controls) stop |= ascii_equal(w, 0x7F);
        if (stop) return false;
        // Controls are rare: the bytes below U+0020 are left to the byte test.
        if (~ascii_at_least(w, 0x20) & kHighBits) {
            for (std::size_t k = 0; k < count; ++k) {
                if (!ascii_byte(static_cast<unsigned char>(w >> (8 * k)), i + k)) return false;
            }
            return true;
        }
        if (!spec_.whitespace) return true;
        const std::uint64_t spaces = ascii_equal(w, ' ');
        // A space after a space (the one before these bytes included), or one
        // that opens the text; a space that ends the text is caught at the end.
        if ((spaces & ((spaces << 8) | (after_space_ ? 0x80 : 0))) || (i == 0 && (spaces & 0x80))) {
            needs_collapse_ = true;
        }
        after_space_ = (spaces >> (8 * count - 1)) & 1;
        return true;
    }

    // The tests of one non-ASCII code point, cheapest first.
    bool runs_preset(char32_t c) const noexcept {
        if (spec_.non_ascii) return true;
        const std::uint8_t props = tables::guard_props(c);
        if (props & props_mask_) return true;
        if (special_classes(c) & special_mask_) return true;
        if (decomposition_cap_ && tables::guard_decomposition_marks(props) > *decomposition_cap_) return true;
        if (spec_.case_fold && case_fold::has_fold(c)) return true;
        if (map_ != nullptr && spec_.confusables && !map_->prototype(c).empty()) return true;
        if (spec_.emoji && may_be_emoji(c)) return true;
        return false;
    }

    const GuardSpec spec_;  // a copy: no write of the scan state can alias it
    const tables::ConfusableMap* map_;
    unsigned special_mask_ = 0;
    std::uint8_t props_mask_ = 0;
    std::optional<unsigned> decomposition_cap_;
    bool needs_collapse_ = false;
    bool after_space_ = false;
};

}  // namespace

GuardVerdict scan(std::string_view text, const GuardSpec& spec, const tables::ConfusableMap* confusable_map) noexcept {
    return Scanner(spec, confusable_map).scan(text);
}

}  // namespace kelrad::presets::guard
