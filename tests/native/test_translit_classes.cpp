#include <cstdio>
#include <string>

#include "testing.hpp"
#include "translit/classes.hpp"

using namespace kelrad::transliterate;

namespace {

std::string hex(char32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

// "U+XXXX n", so that a failed check names the code point.
template <class E>
std::string tagged(char32_t c, E value) {
    return hex(c) + " " + std::to_string(static_cast<int>(value));
}

}  // namespace

TEST(translit_script_class_edges) {
    using S = ScriptClass;
    const struct {
        char32_t c;
        ScriptClass cls;
    } cases[] = {
        {0x0041, S::Other},   {0x00E9, S::Other},   {0x08FF, S::Other},   {0x0900, S::Brahmic},
        {0x0DFF, S::Brahmic}, {0x0E01, S::Other},   {0x0EFF, S::Other},   {0x0F00, S::Brahmic},
        {0x109F, S::Brahmic}, {0x10A0, S::Other},   {0x1100, S::Other},   {0x11FF, S::Other},
        {0x16FF, S::Other},   {0x1700, S::Brahmic}, {0x17FF, S::Brahmic}, {0x1800, S::Other},
        {0x1A00, S::Brahmic}, {0x1AAF, S::Brahmic}, {0x1AB0, S::Other},   {0x1B00, S::Brahmic},
        {0x1BFF, S::Brahmic}, {0x303F, S::Other},   {0x3040, S::Kana},    {0x30FF, S::Kana},
        {0x3100, S::Other},   {0x3130, S::Other},   {0x3131, S::Hangul},  {0x3163, S::Hangul},
        {0x3164, S::Other},   {0x33FF, S::Other},   {0x3400, S::Han},     {0x4DBF, S::Han},
        {0x4DC0, S::Other},   {0x4E00, S::Han},     {0x9FFF, S::Han},     {0xA97F, S::Other},
        {0xA980, S::Brahmic}, {0xA9DF, S::Brahmic}, {0xA9E0, S::Other},   {0xAA00, S::Brahmic},
        {0xAA5F, S::Brahmic}, {0xAA60, S::Other},   {0xAADF, S::Other},   {0xAAE0, S::Brahmic},
        {0xAAFF, S::Brahmic}, {0xAB00, S::Other},   {0xABBF, S::Other},   {0xABC0, S::Brahmic},
        {0xABFF, S::Brahmic}, {0xABFF + 1, S::Hangul}, {0xD7AF, S::Hangul}, {0xD7B0, S::Other},
        {0xF8FF, S::Other},   {0xF900, S::Han},     {0xFAFF, S::Han},     {0xFB00, S::Other},
        {0xFF64, S::Other},   {0xFF65, S::Kana},    {0xFF9F, S::Kana},    {0xFFA0, S::Other},
        {0x20000, S::Other},  {0x10FFFF, S::Other},
    };
    for (const auto& t : cases) CHECK_EQ(tagged(t.c, script_class(t.c)), tagged(t.c, t.cls));
}

// The pass's own states are never answers.
TEST(translit_script_class_never_none_or_ascii) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const ScriptClass s = script_class(c);
        if (s == ScriptClass::None || s == ScriptClass::Ascii) {
            CHECK_EQ(tagged(c, s), "a class of 1, 2, 3, 5 or 6");
            break;
        }
    }
}

TEST(translit_brahmic_class_edges) {
    using B = BrahmicClass;
    const struct {
        char32_t c;
        BrahmicClass cls;
    } cases[] = {
        {0x0905, B::Other},     {0x0914, B::Other},      {0x0915, B::Consonant},  {0x0939, B::Consonant},
        {0x093A, B::Other},     {0x093E, B::DependentVowelSign}, {0x093F, B::DependentVowelSign},
        {0x094C, B::DependentVowelSign}, {0x094D, B::Virama}, {0x0958, B::Consonant}, {0x095F, B::Consonant},
        {0x0960, B::Other},     {0x0995, B::Consonant},  {0x09CD, B::Virama},     {0x0B95, B::Consonant},
        {0x0D4D, B::Virama},    {0x0D7F, B::Other},      {0x0D99, B::Other},      {0x0D9A, B::Consonant},
        {0x0DC6, B::Consonant}, {0x0DCA, B::Virama},     {0x0DCF, B::DependentVowelSign},
        {0x0DF2, B::DependentVowelSign}, {0x0DF4, B::Other}, {0x0E01, B::Other},  {0x0F40, B::Consonant},
        {0x0F6A, B::Other},     {0x0F71, B::DependentVowelSign}, {0x0F84, B::Virama}, {0x0F90, B::Consonant},
        {0x0FBC, B::Consonant}, {0x1000, B::Consonant},  {0x1021, B::Consonant},  {0x1022, B::Other},
        {0x1039, B::Virama},    {0x103A, B::Virama},     {0x103E, B::DependentVowelSign},
        {0x171F, B::Consonant}, {0x1714, B::Virama},     {0x1780, B::Consonant},  {0x17D2, B::Virama},
        {0x1A1B, B::DependentVowelSign}, {0x1A1C, B::Other}, {0x1A60, B::Virama}, {0x1A5F, B::Other},
        {0x1B44, B::Virama},    {0x1BAB, B::Virama},     {0x1BF3, B::Virama},     {0xA9C0, B::Virama},
        {0xAA4D, B::Virama},    {0xAAE0, B::Other},      {0xABC0, B::Consonant},  {0xABED, B::Virama},
        {0x0041, B::Other},     {0x4E00, B::Other},
    };
    for (const auto& t : cases) CHECK_EQ(tagged(t.c, brahmic_class(t.c)), tagged(t.c, t.cls));
}

TEST(translit_compose_trigger) {
    const struct {
        char32_t c;
        bool trigger;
    } cases[] = {
        {0x0041, false},  {0x00E9, false},  {0x02FF, false}, {0x0300, true},   {0x036F, true},  {0x0370, false},
        {0x0482, false},  {0x0483, true},   {0x0489, true},  {0x048A, false},  {0x0591, true},  {0x05BE, false},
        {0x093F, true},   {0x0903, true},   {0x0915, false}, {0x1100, true},   {0x1112, true},  {0x1113, false},
        {0x1161, false},  {0x11A8, false},  {0x20DD, true},  {0x3099, true},   {0xAC00, false}, {0xFE0F, true},
        {0x16D67, true},  {0x16D66, false}, {0x1D165, true}, {0xE0100, true},  {0xE01EF, true}, {0xE01F0, false},
        {0x10FFFF, false},
    };
    for (const auto& t : cases) CHECK_EQ(hex(t.c) + (is_compose_trigger(t.c) ? " yes" : " no"),
                                         hex(t.c) + (t.trigger ? " yes" : " no"));
}
