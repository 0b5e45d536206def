#include "translit/classes.hpp"

#include <array>
#include <span>

#include "text/compose.hpp"
#include "util/ranges.hpp"

namespace kelrad::transliterate {

namespace {

struct ClassRange {
    char32_t first;
    char32_t last;
    ScriptClass cls;
};

// In the order in which mixed blocks test them.
constexpr ClassRange kScriptRanges[] = {
    {0x3400, 0x4DBF, ScriptClass::Han},     {0x4E00, 0x9FFF, ScriptClass::Han},
    {0xF900, 0xFAFF, ScriptClass::Han},     {0x3131, 0x3163, ScriptClass::Hangul},
    {0xAC00, 0xD7AF, ScriptClass::Hangul},  {0x3040, 0x30FF, ScriptClass::Kana},
    {0xFF65, 0xFF9F, ScriptClass::Kana},    {0x0900, 0x0DFF, ScriptClass::Brahmic},
    {0x0F00, 0x109F, ScriptClass::Brahmic}, {0x1700, 0x17FF, ScriptClass::Brahmic},
    {0x1A00, 0x1AAF, ScriptClass::Brahmic}, {0x1B00, 0x1BFF, ScriptClass::Brahmic},
    {0xA980, 0xA9DF, ScriptClass::Brahmic}, {0xAA00, 0xAA5F, ScriptClass::Brahmic},
    {0xAAE0, 0xAAFF, ScriptClass::Brahmic}, {0xABC0, 0xABFF, ScriptClass::Brahmic},
};

constexpr char32_t kClassedFirst = 0x0900;
constexpr char32_t kClassedLast = 0xFF9F;

// A block-table answer that is not a class: the block mixes classes.
constexpr std::uint8_t kMixed = 0xFF;

// For each 256-code-point block, its class when one class (or none, Other)
// covers the whole block, else kMixed.
consteval std::array<std::uint8_t, 256> make_block_classes() {
    std::array<std::uint8_t, 256> out{};
    for (std::size_t hi = 0; hi < 256; ++hi) {
        const char32_t first = static_cast<char32_t>(hi << 8);
        const char32_t last = first + 0xFF;
        std::uint8_t answer = static_cast<std::uint8_t>(ScriptClass::Other);
        // The ranges are disjoint: one that covers the block is the only one
        // touching it.
        for (const ClassRange& r : kScriptRanges) {
            if (r.last < first || r.first > last) continue;
            answer = r.first <= first && r.last >= last ? static_cast<std::uint8_t>(r.cls) : kMixed;
            break;
        }
        out[hi] = answer;
    }
    return out;
}

constexpr std::array<std::uint8_t, 256> kBlockClass = make_block_classes();

// The classes outside the layout of the nine Indic blocks (below). Every
// character named VOWEL SIGN or LENGTH MARK in the Brahmic blocks replaces the
// inherent vowel (gen_transliteration.py checks the names against its copy of
// this table); the Indic ones listed here are those the layout misses.
constexpr ValuedRange<BrahmicClass> kBrahmicRanges[] = {
    // Indic vowel signs and length marks outside offsets 0x3E..0x4C
    {0x093A, 0x093B, BrahmicClass::DependentVowelSign},
    {0x094E, 0x094F, BrahmicClass::DependentVowelSign},
    {0x0955, 0x0957, BrahmicClass::DependentVowelSign},
    {0x0962, 0x0963, BrahmicClass::DependentVowelSign},
    {0x09D7, 0x09D7, BrahmicClass::DependentVowelSign},
    {0x09E2, 0x09E3, BrahmicClass::DependentVowelSign},
    {0x0AE2, 0x0AE3, BrahmicClass::DependentVowelSign},
    {0x0B56, 0x0B57, BrahmicClass::DependentVowelSign},
    {0x0B62, 0x0B63, BrahmicClass::DependentVowelSign},
    {0x0BD7, 0x0BD7, BrahmicClass::DependentVowelSign},
    {0x0C55, 0x0C56, BrahmicClass::DependentVowelSign},
    {0x0C62, 0x0C63, BrahmicClass::DependentVowelSign},
    {0x0CD5, 0x0CD6, BrahmicClass::DependentVowelSign},
    {0x0CE2, 0x0CE3, BrahmicClass::DependentVowelSign},
    {0x0D57, 0x0D57, BrahmicClass::DependentVowelSign},
    {0x0D62, 0x0D63, BrahmicClass::DependentVowelSign},
    // Sinhala
    {0x0D9A, 0x0DC6, BrahmicClass::Consonant},
    {0x0DCA, 0x0DCA, BrahmicClass::Virama},
    {0x0DCF, 0x0DDF, BrahmicClass::DependentVowelSign},
    {0x0DF2, 0x0DF3, BrahmicClass::DependentVowelSign},
    // Tibetan
    {0x0F40, 0x0F69, BrahmicClass::Consonant},
    {0x0F71, 0x0F7D, BrahmicClass::DependentVowelSign},
    {0x0F80, 0x0F81, BrahmicClass::DependentVowelSign},
    {0x0F84, 0x0F84, BrahmicClass::Virama},
    {0x0F90, 0x0FBC, BrahmicClass::SubjoinedConsonant},
    // Myanmar
    {0x1000, 0x1021, BrahmicClass::Consonant},
    {0x102B, 0x1035, BrahmicClass::DependentVowelSign},
    {0x1039, 0x103A, BrahmicClass::Virama},
    {0x103B, 0x103E, BrahmicClass::DependentVowelSign},
    {0x1056, 0x1059, BrahmicClass::DependentVowelSign},
    {0x1062, 0x1062, BrahmicClass::DependentVowelSign},
    {0x1067, 0x1068, BrahmicClass::DependentVowelSign},
    {0x1071, 0x1074, BrahmicClass::DependentVowelSign},
    {0x1083, 0x1086, BrahmicClass::DependentVowelSign},
    {0x109C, 0x109D, BrahmicClass::DependentVowelSign},
    // Tagalog, Hanunoo, Buhid, Tagbanwa (the vowel sign U of Buhid and
    // Tagbanwa is listed as their virama: either removes the inherent vowel)
    {0x1703, 0x1711, BrahmicClass::Consonant},
    {0x1712, 0x1713, BrahmicClass::DependentVowelSign},
    {0x1714, 0x1714, BrahmicClass::Virama},
    {0x171F, 0x171F, BrahmicClass::Consonant},
    {0x1723, 0x1731, BrahmicClass::Consonant},
    {0x1732, 0x1733, BrahmicClass::DependentVowelSign},
    {0x1734, 0x1734, BrahmicClass::Virama},
    {0x1743, 0x1751, BrahmicClass::Consonant},
    {0x1752, 0x1752, BrahmicClass::DependentVowelSign},
    {0x1753, 0x1753, BrahmicClass::Virama},
    {0x1763, 0x1770, BrahmicClass::Consonant},
    {0x1772, 0x1772, BrahmicClass::DependentVowelSign},
    {0x1773, 0x1773, BrahmicClass::Virama},
    // Khmer
    {0x1780, 0x17A2, BrahmicClass::Consonant},
    {0x17B6, 0x17C5, BrahmicClass::DependentVowelSign},
    {0x17D2, 0x17D2, BrahmicClass::Virama},
    // Buginese (no virama)
    {0x1A00, 0x1A16, BrahmicClass::Consonant},
    {0x1A17, 0x1A1B, BrahmicClass::DependentVowelSign},
    // Tai Tham
    {0x1A20, 0x1A54, BrahmicClass::Consonant},
    {0x1A55, 0x1A5E, BrahmicClass::DependentVowelSign},
    {0x1A60, 0x1A60, BrahmicClass::Virama},
    {0x1A61, 0x1A73, BrahmicClass::DependentVowelSign},
    // Balinese
    {0x1B13, 0x1B33, BrahmicClass::Consonant},
    {0x1B35, 0x1B43, BrahmicClass::DependentVowelSign},
    {0x1B44, 0x1B44, BrahmicClass::Virama},
    // Sundanese
    {0x1B8A, 0x1BA0, BrahmicClass::Consonant},
    {0x1BA1, 0x1BA9, BrahmicClass::DependentVowelSign},
    {0x1BAB, 0x1BAB, BrahmicClass::Virama},
    // Batak
    {0x1BC0, 0x1BE3, BrahmicClass::Consonant},
    {0x1BE7, 0x1BEF, BrahmicClass::DependentVowelSign},
    {0x1BF2, 0x1BF3, BrahmicClass::Virama},
    // Javanese
    {0xA990, 0xA9B2, BrahmicClass::Consonant},
    {0xA9B4, 0xA9BC, BrahmicClass::DependentVowelSign},
    {0xA9C0, 0xA9C0, BrahmicClass::Virama},
    // Cham
    {0xAA00, 0xAA28, BrahmicClass::Consonant},
    {0xAA29, 0xAA36, BrahmicClass::DependentVowelSign},
    {0xAA4D, 0xAA4D, BrahmicClass::Virama},
    // Meetei Mayek Extensions (U+AAF5, named VOWEL SIGN VISARGA, is a
    // visarga: it follows the inherent vowel and stays Other)
    {0xAAEB, 0xAAEF, BrahmicClass::DependentVowelSign},
    // Meetei Mayek
    {0xABC0, 0xABE2, BrahmicClass::Consonant},
    {0xABE3, 0xABEA, BrahmicClass::DependentVowelSign},
    {0xABED, 0xABED, BrahmicClass::Virama},
};

consteval bool sorted_and_disjoint(std::span<const ValuedRange<BrahmicClass>> ranges) {
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (ranges[i].first > ranges[i].last) return false;
        if (i > 0 && ranges[i - 1].last >= ranges[i].first) return false;
    }
    return true;
}
static_assert(sorted_and_disjoint(kBrahmicRanges), "binary search needs sorted, disjoint ranges");

constexpr char32_t kIndicFirst = 0x0900;
constexpr char32_t kIndicLast = 0x0D7F;

// The nine Indic blocks share one layout: offsets 0x15..0x39 and 0x58..0x5F
// are consonants (but for the Malayalam fractions U+0D58..U+0D5E), 0x3E..0x4C
// dependent vowel signs, 0x4D the virama. What the layout misses comes from
// the ranges. Resolved at compile time into one byte per code point (1,152
// bytes), so that the most common Brahmic scripts cost one read.
consteval std::array<BrahmicClass, kIndicLast - kIndicFirst + 1> make_indic_classes() {
    std::array<BrahmicClass, kIndicLast - kIndicFirst + 1> out{};
    for (char32_t c = kIndicFirst; c <= kIndicLast; ++c) {
        const char32_t offset = c & 0x7F;
        const bool fraction = c >= 0x0D58 && c <= 0x0D5E;
        BrahmicClass cls = BrahmicClass::Other;
        if ((offset >= 0x15 && offset <= 0x39) || (offset >= 0x58 && offset <= 0x5F && !fraction)) {
            cls = BrahmicClass::Consonant;
        } else if (offset >= 0x3E && offset <= 0x4C) {
            cls = BrahmicClass::DependentVowelSign;
        } else if (offset == 0x4D) {
            cls = BrahmicClass::Virama;
        } else {
            for (const ValuedRange<BrahmicClass>& r : kBrahmicRanges) {
                if (c >= r.first && c <= r.last) cls = r.value;
            }
        }
        out[c - kIndicFirst] = cls;
    }
    return out;
}

constexpr std::array<BrahmicClass, kIndicLast - kIndicFirst + 1> kIndicClass = make_indic_classes();

}  // namespace

ScriptClass script_class(char32_t c) noexcept {
    if (c < kClassedFirst || c > kClassedLast) return ScriptClass::Other;
    const std::uint8_t block = kBlockClass[c >> 8];
    if (block != kMixed) return static_cast<ScriptClass>(block);
    for (const ClassRange& r : kScriptRanges) {
        if (c >= r.first && c <= r.last) return r.cls;
    }
    return ScriptClass::Other;
}

BrahmicClass brahmic_class(char32_t c) noexcept {
    if (c >= kIndicFirst && c <= kIndicLast) return kIndicClass[c - kIndicFirst];
    return range_value(kBrahmicRanges, c, BrahmicClass::Other);
}

bool is_compose_trigger(char32_t c) noexcept { return compose::starts_or_joins(c); }

}  // namespace kelrad::transliterate
