#include "tables/scripts.hpp"
#include "testing.hpp"
#include "text/scripts.hpp"

using namespace kelrad;

// The array sizes are their declarations'; the split of the directions is stated in prose.
TEST(scripts_strong_direction_rows) {
    std::size_t ltr = 0;
    for (const auto& row : tables::STRONG_DIRECTION_RANGES) ltr += row.value == tables::kStrongLeftToRight;
    CHECK_EQ(ltr, 783u);
}

TEST(scripts_script_of_and_effective_script) {
    struct Case {
        char32_t cp;
        std::string_view script;
        std::string_view effective;
    };
    const Case cases[] = {
        {0x0041, "Latin", "Latin"},      {0x0031, "Common", "Common"},  {0x0020, "Common", "Common"},
        {0x00AA, "Common", "Common"},    {0x00B5, "Common", "Common"},  {0x00BA, "Common", "Common"},
        {0x00D7, "Latin", "Common"},     {0x0301, "Inherited", "Inherited"},
        {0xFF21, "Common", "Common"},    {0x0378, "Common", "Common"},  {0x30FC, "Katakana", "Common"},
        {0x03B1, "Greek", "Greek"},      {0x0430, "Cyrillic", "Cyrillic"},
        {0x1D2B, "Cyrillic", "Cyrillic"},  // one-code-point row inside the phonetic extensions
        {0x1D2C, "Latin", "Latin"},      {0xAB65, "Greek", "Greek"},    {0x4E00, "Han", "Han"},
        {0x9FFF, "Han", "Han"},          {0xAC00, "Hangul", "Hangul"},  {0x0E3F, "Thai", "Common"},
        {0x3134A, "Han", "Han"},         {0x3134F, "Common", "Common"},  // inside the row, unassigned
        {0xE000, "Common", "Common"},    {0x10FFFF, "Common", "Common"},
    };
    for (const auto& c : cases) {
        CHECK_EQ(scripts::script_of(c.cp), c.script);
        CHECK_EQ(scripts::effective_script(c.cp), c.effective);
    }
}

// The letters-only test of the anomaly scan (the module's test counts every strong character).
TEST(scripts_bidi_conflict_letters_only) {
    // U+200E (LRM) is Bidi_Class L but not Alphabetic.
    CHECK(scripts::has_bidi_conflict("\u200E\u05D0\u05D1", false));
    CHECK(!scripts::has_bidi_conflict("\u200E\u05D0\u05D1", true));
    CHECK(scripts::has_bidi_conflict("a\u05D0", true));
    CHECK(!scripts::has_bidi_conflict("\u05D0\u05D1 123", true));
    CHECK(scripts::has_bidi_conflict("\u0627 \u00E9", true));  // AL with a Latin letter
}

// The BMP index against the range tables it is folded from, code point by
// code point (beyond the BMP the tables are searched as they are).
TEST(scripts_bmp_index_agrees_with_the_ranges) {
    std::size_t failed = 0;
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        std::string_view script = tables::kCommon;
        if (find_range(tables::ASSIGNED_RANGES, c) != nullptr) {
            if (const auto* row = find_range(tables::SCRIPT_RANGES, c)) script = row->name;
        }
        std::string_view effective = script;
        if (script != tables::kCommon && script != tables::kInherited &&
            find_range(tables::COMMON_SCRIPT_OVERRIDES, c) != nullptr) {
            effective = tables::kCommon;
        }
        failed += scripts::script_of(c) != script || scripts::effective_script(c) != effective;
    }
    CHECK_EQ(failed, 0u);
}
