#include <optional>
#include <string>
#include <string_view>

#include "tables/hanzi_pinyin.hpp"
#include "tables/transliteration.hpp"
#include "testing.hpp"
#include "translit/classes.hpp"
#include "translit/tables.hpp"

using kelrad::tables::lookup_ascii;
using Value = std::optional<std::string_view>;

namespace {

constexpr Value kNone = std::nullopt;

// "U+XXXX -> "value"" or "U+XXXX -> none", so that a failed check names the code point.
std::string describe(char32_t c, Value v) {
    return testing::cp_name(c) + (v ? " -> \"" + std::string(*v) + "\"" : " -> none");
}

struct Row {
    char32_t c;
    Value plain;
    Value toned;
};

void check_rows(std::initializer_list<Row> rows) {
    for (const Row& r : rows) {
        CHECK_EQ(describe(r.c, lookup_ascii(r.c, false)), describe(r.c, r.plain));
        CHECK_EQ(describe(r.c, lookup_ascii(r.c, true)), describe(r.c, r.toned));
    }
}

bool is_printable_ascii(std::string_view s) {
    for (char ch : s) {
        if (ch < 0x20 || ch > 0x7E) return false;
    }
    return true;
}

bool is_scalar(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

bool is_han(char32_t c) { return (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF); }

}  // namespace

// Each row: the value without tones and with them (kNone: no value).
TEST(translit_lookup_rows) {
    check_rows({
        // The two-stage table.
        {0x00A9, "(c)", "(c)"}, {0x00AE, "(R)", "(R)"}, {0x00B0, "deg", "deg"}, {0x00BD, "1/2", "1/2"},
        {0x00C6, "AE", "AE"},   {0x00DF, "ss", "ss"},   {0x0153, "oe", "oe"},   {0x00E9, "e", "e"},
        {0x0141, "L", "L"},     {0x0301, "", ""},       {0x0308, "", ""},       {0x0338, "", ""},
        {0x03B1, "a", "a"},     {0x03C9, "o", "o"},     {0x0416, "Zh", "Zh"},   {0x05D0, "'", "'"},
        {0x05E9, "sh", "sh"},   {0x0627, "a", "a"},     {0x0644, "l", "l"},     {0x0915, "ka", "ka"},
        {0x093F, "i", "i"},     {0x094D, "", ""},       {0x0902, "m", "m"},     {0x0964, ".", "."},
        {0x0E01, "k", "k"},     {0x0F40, "ka", "ka"},   {0x0F84, "", ""},       {0x1000, "ka", "ka"},
        {0x1039, "", ""},       {0x1100, "g", "g"},     {0x1161, "a", "a"},     {0x10D0, "a", "a"},
        {0x0531, "A", "A"},     {0x13A0, "a", "a"},     {0x2018, "'", "'"},     {0x2026, "...", "..."},
        {0x2013, "-", "-"},     {0x20AC, "EUR", "EUR"}, {0x2122, "TM", "TM"},   {0x2160, "I", "I"},
        {0x2460, "1", "1"},     {0x3042, "a", "a"},     {0x3063, "tsu", "tsu"}, {0x30A2, "a", "a"},
        {0x30FC, "-", "-"},     {0xF900, "qi", "qi"},   {0xFF21, "A", "A"},     {0xFF01, "!", "!"},
        // Marks that spell a letter's vowel, not diacritics to drop.
        {0x0941, "u", "u"},     {0x0E34, "i", "i"},     {0x05B8, "a", "a"},     {0x064E, "a", "a"},
        {0x0670, "a", "a"},     {0x07A6, "a", "a"},     {0x1753, "u", "u"},
        // Signs after the inherent vowel write only themselves; a subjoined
        // consonant carries its own vowel; the Malayalam fractions are numbers.
        {0x17C6, "m", "m"},     {0x17C7, "h", "h"},     {0x0F90, "ka", "ka"},   {0x0FB2, "ra", "ra"},
        {0x0D57, "au", "au"},   {0x0D58, "2", "2"},     {0x0D5E, "64", "64"},
        // Code points without a value.
        {0x0000, kNone, kNone},   {0x0041, kNone, kNone},   {0x007F, kNone, kNone},    // ASCII is the engine's
        {0x00A0, kNone, kNone},   {0x2212, kNone, kNone},   {0x3000, kNone, kNone},    // NFKC recovers these
        {0x3001, kNone, kNone},   {0x3002, kNone, kNone},   {0xFB01, kNone, kNone},
        {0x0378, kNone, kNone},                                                        // unassigned, kept block
        {0x3400, kNone, kNone},   {0x4DBF, kNone, kNone},                              // Extension A: no data
        {0xD7A4, kNone, kNone},   {0xE000, kNone, kNone},                              // blocks without data
        {0x3130, kNone, kNone},   {0x3164, kNone, kNone},                              // around the jamo
        {0x1000C, kNone, kNone},  {0x1F600, kNone, kNone},  {0x10FFFF, kNone, kNone},
        // Hangul syllables and compatibility jamo.
        {0xAC00, "ga", "ga"}, {0xAC01, "gag", "gag"}, {0xD55C, "han", "han"}, {0xD7A3, "hih", "hih"},
        {0x3131, "g", "g"},   {0x3147, "", ""},       {0x3163, "i", "i"},
        // Pinyin of the unified and compatibility ideographs.
        {0x4E00, "yi", "yī"},       {0x4E2D, "zhong", "zhōng"}, {0x56FD, "guo", "guó"},
        {0x4E2A, "ge", "gè"},       {0x4E86, "le", "le"},       {0x66F4, "geng", "gēng"},
        {0x5317, "bei", "běi"},     {0x4EAC, "jing", "jīng"},   {0x5973, "nu", "nǚ"},
        {0x500B, "ge", "gè"},       // a traditional form, common by frequency
        // Absent from the toned map: the toneless syllable in both modes.
        {0x8C48, "qi", "qi"},
        // Compatibility ideographs through the canonical decomposition.
        {0xF900, "qi", "qi"},       {0xF901, "geng", "gēng"},
        // The supplementary map.
        {0x10000, "a", "a"},     {0x10005, "da", "da"},   {0x10047, "a2", "a2"},          {0x10056, "*18", "*18"},
        {0x10050, "*18", "*18"}, {0x10338, "th", "th"},   {0x10341, "90", "90"},          {0x1034A, "900", "900"},
        {0x103A3, "ka", "ka"},   {0x103C8, "Auramazda", "Auramazda"}, {0x103D0, "", ""}, {0x103D5, "100", "100"},
    });
}

// Without tones every value is printable ASCII; with tones only Han characters
// answer differently.
TEST(translit_values_are_ascii_outside_toned_pinyin) {
    int bad_plain = 0, bad_toned = 0;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (!is_scalar(c)) continue;
        const Value plain = lookup_ascii(c, false);
        if (plain && !is_printable_ascii(*plain) && ++bad_plain <= 5) CHECK_EQ(describe(c, plain), "printable ASCII");
        if (!is_han(c) && lookup_ascii(c, true) != plain && ++bad_toned <= 5) {
            CHECK_EQ(describe(c, lookup_ascii(c, true)), describe(c, plain));
        }
    }
    CHECK_EQ(bad_plain, 0);
    CHECK_EQ(bad_toned, 0);
}

// The engine removes the last "a" of a consonant before a vowel sign, a
// virama or a medial; a letter that spells a syllable of its own ends in its
// own vowel.
TEST(translit_brahmic_consonants_end_in_a_vowel) {
    using namespace kelrad::transliterate;
    int consonants = 0, bad = 0;
    for (char32_t c = 0x0900; c <= 0xFFFF; ++c) {
        if (script_class(c) != ScriptClass::Brahmic) continue;
        const BrahmicClass role = brahmic_class(c);
        if (role != BrahmicClass::Consonant && role != BrahmicClass::SubjoinedConsonant) continue;
        const Value v = lookup_ascii(c, false);
        if (!v) continue;
        ++consonants;
        if ((v->empty() || std::string_view("aeiou").find(v->back()) == std::string_view::npos) && ++bad <= 5) {
            CHECK_EQ(describe(c, v), "a value ending in a vowel");
        }
    }
    CHECK_EQ(bad, 0);
    CHECK(consonants > 900);
}

TEST(translit_table_counts) {
    using namespace kelrad::tables;
    std::size_t values = 0, empty = 0, max_end = 0;
    for (std::uint32_t e : kTranslitEntries) {
        if (e == kTranslitNoValue) continue;
        ++values;
        empty += (e & 0xFF) == 0;
        max_end = std::max<std::size_t>(max_end, (e >> 8) + (e & 0xFF));
    }
    CHECK_EQ(values, kTranslitValueCount);
    CHECK_EQ(empty, kTranslitEmptyValueCount);
    CHECK(max_end <= kTranslitPoolSize);
    std::size_t blocks_with_data = 0;
    for (std::uint32_t base : kTranslitBlockBase) blocks_with_data += base != 0;
    CHECK_EQ(blocks_with_data, 52u);  // as the header states

    std::size_t with_syllable = 0;
    for (std::uint16_t n : kHanziSyllable) {
        with_syllable += n != 0;
        CHECK(n < kPinyinSyllableCount);
    }
    CHECK_EQ(with_syllable, kHanziWithSyllableCount);
    CHECK_EQ(std::string_view(kPinyinPool + kPinyinOffsets[1], kPinyinOffsets[2] - kPinyinOffsets[1]), "yi");
}

// Every stored key is found, in one probe, and maps back to itself.
TEST(translit_perfect_hash_maps_find_every_key) {
    using namespace kelrad::tables;
    for (const auto* map : {&kTonedPinyinMap, &kSupplementaryMap}) {
        for (const auto& e : map->entries) CHECK(map->find(e.key) == &e.value);
    }
    CHECK_EQ(kTonedPinyinMap.size(), kTonedPinyinCount);
    CHECK_EQ(kSupplementaryMap.size(), kSupplementaryCount);
    std::size_t toned = 0;
    for (char32_t c = 0x3400; c <= 0x9FFF; ++c) toned += kTonedPinyinMap.find(c) != nullptr;
    CHECK_EQ(toned, kTonedPinyinCount);
    for (const auto& e : kTonedPinyinMap.entries) CHECK(e.key >= 0x4E00 && e.key <= 0x9F99);
}
