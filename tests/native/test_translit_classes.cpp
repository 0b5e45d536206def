#include <string>

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

TEST(translit_brahmic_class_edges) {
    using B = BrahmicClass;
    const struct {
        char32_t c;
        BrahmicClass cls;
    } cases[] = {
        // The offset rule of the nine Indic blocks, at its edges.
        {0x0914, B::Other},     {0x0915, B::Consonant},  {0x0939, B::Consonant},  {0x093C, B::Other},
        {0x093D, B::Other},     {0x093E, B::DependentVowelSign}, {0x094C, B::DependentVowelSign},
        {0x094D, B::Virama},    {0x0950, B::Other},      {0x0954, B::Other},      {0x0958, B::Consonant},
        {0x095F, B::Consonant}, {0x0960, B::Other},      {0x0B95, B::Consonant},  {0x0D4D, B::Virama},
        {0x0D5F, B::Consonant}, {0x0D7F, B::Other},
        // The vowel signs and length marks that the layout misses, and the
        // Malayalam fractions at its consonant offsets.
        {0x093A, B::DependentVowelSign}, {0x094E, B::DependentVowelSign}, {0x0957, B::DependentVowelSign},
        {0x0963, B::DependentVowelSign}, {0x0964, B::Other},              {0x0CD5, B::DependentVowelSign},
        {0x0D57, B::DependentVowelSign}, {0x0D58, B::Other},              {0x0D5E, B::Other},
        // The scripts listed by range.
        {0x0D9A, B::Consonant}, {0x0DCA, B::Virama},     {0x0DF2, B::DependentVowelSign},
        {0x0F69, B::Consonant}, {0x0F7E, B::Other},      {0x0F80, B::DependentVowelSign},
        {0x0F84, B::Virama},    {0x0F8F, B::Other},      {0x0F90, B::SubjoinedConsonant},
        {0x0FBC, B::SubjoinedConsonant},                 {0x0FBD, B::Other},
        {0x1021, B::Consonant}, {0x1022, B::Other},      {0x103A, B::Virama},     {0x1055, B::Other},
        {0x1056, B::DependentVowelSign}, {0x1062, B::DependentVowelSign}, {0x1083, B::DependentVowelSign},
        {0x109D, B::DependentVowelSign}, {0x109E, B::Other},
        {0x171F, B::Consonant}, {0x17C6, B::Other},      {0x17D2, B::Virama},     {0x1A1B, B::DependentVowelSign},
        {0x1A1C, B::Other},     {0x1A5F, B::Other},      {0x1A60, B::Virama},     {0x1A73, B::DependentVowelSign},
        {0x1BEF, B::DependentVowelSign},                 {0x1BF3, B::Virama},     {0xA9C0, B::Virama},
        {0xAA4D, B::Virama},    {0xAAE0, B::Other},      {0xAAEB, B::DependentVowelSign},
        {0xAAF5, B::Other},     {0xABED, B::Virama},
        {0x0E01, B::Other},
    };
    for (const auto& t : cases) CHECK_EQ(tagged(t.c, brahmic_class(t.c)), tagged(t.c, t.cls));
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
