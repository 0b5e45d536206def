#include <bit>
#include <random>

#include "tables/case_fold.hpp"
#include "testing.hpp"
#include "text/case_fold.hpp"
#include "util/utf8.hpp"

using namespace kelrad;

namespace {

std::string lower(std::string_view s) {
    std::string out = "stale";
    case_fold::to_lowercase_into(s, out);
    return out;
}

std::string folded(std::string_view s) {
    std::string out = "stale";
    case_fold::fold_case(s, out);
    return out;
}

// Every key sits where the lookup looks for it, every filter bit belongs to a
// BMP key, and the map holds exactly the stated number of entries.
void check_map(const tables::CaseMap& map, const std::uint64_t* filter, std::size_t entries) {
    std::size_t keys = 0, bmp_keys = 0;
    for (const auto& slot : map.slots) {
        if (slot.cp == 0xFFFFFFFF) continue;
        ++keys;
        CHECK(tables::find(map, slot.cp) == &slot);
        if (slot.cp < 0x10000) {
            ++bmp_keys;
            CHECK(tables::in_bmp_filter(filter, slot.cp));
        }
    }
    std::size_t bits = 0;
    for (std::size_t w = 0; w < 1024; ++w) bits += static_cast<std::size_t>(std::popcount(filter[w]));
    CHECK_EQ(keys, entries);
    CHECK_EQ(bits, bmp_keys);
}

}  // namespace

TEST(case_fold_tables_hold_every_entry_once) {
    check_map(tables::CASE_FOLDING, tables::CASE_FOLD_BMP_FILTER, tables::kCaseFoldingEntries);
    check_map(tables::LOWERCASE_MAPPING, tables::LOWERCASE_BMP_FILTER, tables::kLowercaseMappingEntries);
}

TEST(case_fold_lowercase_final_sigma) {
    struct Case {
        const char* text;
        const char* lowered;
    };
    const Case cases[] = {
        {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2"},         // word-final
        {"\u03A3", "\u03C3"},                                                // alone: no cased letter before
        {"\u039F\u03A3\u039F", "\u03BF\u03C3\u03BF"},                        // inside a word
        {"\u039F\u03A3 \u039F", "\u03BF\u03C2 \u03BF"},                      // before a space
        {"\u039F\u03A3.", "\u03BF\u03C2."},                                  // '.' is case-ignorable
        {"\u039F\u03A3'\u039F", "\u03BF\u03C3'\u03BF"},                      // ignorable, then cased
        {"\u039F'\u03A3", "\u03BF'\u03C2"},                                  // cased, ignorable, sigma
        {"1\u03A3", "1\u03C3"},                                              // a digit is not cased
        {"\u039F\u03A3\u03A3", "\u03BF\u03C3\u03C2"},                        // a sigma is cased
        {"\u039F\u0301\u03A3", "\u03BF\u0301\u03C2"},                        // a mark is case-ignorable
        // U+02B0 is both Cased and Case_Ignorable; Table 3-17 lets it be the
        // cased letter before the sigma and the cased letter after it.
        {"\u02B0\u03A3", "\u02B0\u03C2"},
        {"a\u03A3\u02B0", "a\u03C3\u02B0"},
        {"\u0130", "i\u0307"},
        {"ABC", "abc"},
        {"\U00010400", "\U00010428"},  // Deseret
        {"\u13A0", "\uAB70"},          // Cherokee: lowercase exists, no fold of the capital
        {"", ""},
    };
    for (const auto& c : cases) CHECK_EQ(lower(c.text), std::string(c.lowered));
}

TEST(case_fold_cow_borrows_unchanged_text) {
    for (std::string_view s : {"strasse", "", "\u65E5\u672C", "\u03C3\u03B9", "abc def"}) {
        CHECK(!case_fold::fold_case_cow(s).has_value());
    }
    CHECK_EQ(case_fold::fold_case_cow("ABC").value_or("none"), std::string("abc"));
    CHECK_EQ(case_fold::fold_case_cow("\u00E9A\u00C9").value_or("none"), std::string("\u00E9a\u00E9"));
    CHECK(!case_fold::to_lowercase_cow("stra\u00DFe").has_value());
    CHECK_EQ(case_fold::to_lowercase_cow("\u03A3\u03A3").value_or("none"), std::string("\u03C3\u03C2"));
}

// The run-copying paths against a plain per-character reference, on random
// text drawn from ASCII, folding and non-folding characters.
TEST(case_fold_fast_paths_match_reference) {
    const char32_t pool[] = {'a', 'Z', ' ', '.', 0xDF, 0xC9, 0x130, 0x3A3, 0x3C2, 0x2BC, 0x1E9E, 0x212A,
                             0x65E5, 0xFB03, 0x10400, 0x1F600, 0x0301, 0x13A0, 0xAB70};
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        std::size_t n = rng() % 24;
        for (std::size_t i = 0; i < n; ++i) utf8::append(text, pool[rng() % std::size(pool)]);
        std::string expected;
        for (auto [cp, len] : utf8::chars(text)) {
            if (cp < 0x80) {
                expected.push_back(static_cast<char>(cp >= 'A' && cp <= 'Z' ? cp + 0x20 : cp));
            } else if (const auto* e = tables::find(tables::CASE_FOLDING, cp)) {
                expected.append(e->utf8, e->len);
            } else {
                utf8::append(expected, cp);
            }
        }
        CHECK_EQ(folded(text), expected);
        auto cow = case_fold::fold_case_cow(text);
        CHECK_EQ(cow ? *cow : text, expected);
        CHECK_EQ(case_fold::is_case_fold_stable(text), lower(text) == expected);
    }
}
