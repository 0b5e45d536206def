#include <iterator>
#include <string>

#include "tables/brahmic_roles.hpp"
#include "testing.hpp"
#include "translit/classes.hpp"

using namespace kelrad::transliterate;
using testing::cp_name;

namespace {

// "U+XXXX n", so that a failed check names the code point.
template <class E>
std::string tagged(char32_t c, E value) {
    return cp_name(c) + " " + std::to_string(static_cast<int>(value));
}

}  // namespace

// The block table and its refinement of mixed blocks against the class
// ranges as listed, over every code point: U+1100 and U+3164 are Other,
// U+3131 is Hangul, Thai (U+0E01) is Other, Meetei Mayek Extensions
// (U+AAE0) is Brahmic, and no answer is None or Ascii.
TEST(translit_script_class_matches_the_ranges) {
    using S = ScriptClass;
    const struct {
        char32_t first, last;
        ScriptClass cls;
    } ranges[] = {
        {0x3400, 0x4DBF, S::Han},     {0x4E00, 0x9FFF, S::Han},     {0xF900, 0xFAFF, S::Han},
        {0x3131, 0x3163, S::Hangul},  {0xAC00, 0xD7AF, S::Hangul},  {0x3040, 0x30FF, S::Kana},
        {0xFF65, 0xFF9F, S::Kana},    {0x0900, 0x0DFF, S::Brahmic}, {0x0F00, 0x109F, S::Brahmic},
        {0x1700, 0x17FF, S::Brahmic}, {0x1A00, 0x1AAF, S::Brahmic}, {0x1B00, 0x1BFF, S::Brahmic},
        {0xA980, 0xA9DF, S::Brahmic}, {0xAA00, 0xAA5F, S::Brahmic}, {0xAAE0, 0xAAFF, S::Brahmic},
        {0xABC0, 0xABFF, S::Brahmic},
    };
    int bad = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        ScriptClass want = S::Other;
        for (const auto& r : ranges) {
            if (c >= r.first && c <= r.last) want = r.cls;
        }
        if (script_class(c) != want && ++bad <= 5) CHECK_EQ(tagged(c, script_class(c)), tagged(c, want));
    }
    CHECK_EQ(bad, 0);
}

// The derivation from Indic_Syllabic_Category is checked against the data by
// tests/test_transliterate.py; these rows pin the two reads of the table at
// its edges and the characters that take another role than their category's.
TEST(translit_brahmic_class_edges) {
    using B = BrahmicClass;
    const struct {
        char32_t c;
        BrahmicClass cls;
    } cases[] = {
        // The directly read run U+0900..U+10FF, at its ends and across Thai.
        {0x08FF, B::Other},     {0x0900, B::Other},     {0x0915, B::Consonant},  {0x093E, B::DependentVowelSign},
        {0x094D, B::Virama},    {0x0958, B::Consonant}, {0x0DF2, B::DependentVowelSign}, {0x0E01, B::Other},
        {0x0E31, B::Other},     {0x0F40, B::Consonant}, {0x0FB2, B::SubjoinedConsonant}, {0x108E, B::Consonant},
        {0x10FF, B::Other},     {0x1100, B::Other},
        // Through the block table, and outside it.
        {0x1780, B::Consonant}, {0x17D2, B::Virama},    {0x1A20, B::Consonant},  {0x1A59, B::Other},
        {0x1BAA, B::Virama},    {0x1BA2, B::SubjoinedConsonant}, {0xA98F, B::Consonant}, {0xAA4D, B::Other},
        {0xAAE0, B::Other},     {0xAAF6, B::Virama},    {0xABDB, B::Other},      {0xABED, B::Virama},
        {0xAC00, B::Other},     {0xFFFF, B::Other},     {0x10000, B::Other},     {0x11013, B::Other},
        {0x10FFFF, B::Other},
        // Vowel carriers, a sign whose consonant follows the vowel, a length
        // mark, a medial that spells a vowel.
        {0x1021, B::Consonant}, {0xAA00, B::Consonant}, {0xABD1, B::Consonant},  {0x17C8, B::Other},
        {0x0B55, B::Other},     {0xA9BD, B::DependentVowelSign},
    };
    for (const auto& t : cases) CHECK_EQ(tagged(t.c, brahmic_class(t.c)), tagged(t.c, t.cls));
}

// The counts the table's header states.
TEST(translit_brahmic_role_counts) {
    std::size_t counts[std::size(kelrad::tables::kBrahmicRoleCounts)] = {};
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        if (script_class(c) == ScriptClass::Brahmic) ++counts[static_cast<std::size_t>(brahmic_class(c))];
    }
    for (std::size_t role = 0; role < std::size(counts); ++role) {
        CHECK_EQ(counts[role], kelrad::tables::kBrahmicRoleCounts[role]);
    }
}

TEST(translit_compose_trigger) {
    const struct {
        char32_t c;
        bool trigger;
    } cases[] = {
        {0x02FF, false}, {0x0300, true},  {0x036F, true},  {0x0370, false}, {0x0483, true},  {0x0489, true},
        {0x048A, false}, {0x0591, true},  {0x0903, true},  {0x0915, false}, {0x1100, true},  {0x1112, true},
        {0x1113, false}, {0x1161, false}, {0x16D67, true}, {0x16D66, false}, {0xE01EF, true}, {0xE01F0, false},
    };
    for (const auto& t : cases) CHECK_EQ(tagged(t.c, is_compose_trigger(t.c)), tagged(t.c, t.trigger));
}
