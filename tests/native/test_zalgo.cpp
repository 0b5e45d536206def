#include <algorithm>
#include <limits>
#include <random>

#include "testing.hpp"
#include "text/normalize.hpp"
#include "text/zalgo.hpp"
#include "util/utf8.hpp"

using namespace kelrad;

namespace {

std::string hex(std::optional<char32_t> cp) { return cp ? testing::cp_name(*cp) : "none"; }

std::u32string nfd_code_points(std::string_view text) {
    std::string nfd = normalize::to_nfd(text);
    std::u32string out;
    for (auto [cp, len] : utf8::chars(nfd)) out.push_back(cp);
    return out;
}

// The stack walk exactly as the rule states it, over the whole text's NFD
// (canonical order). Spans start after stable non-mark characters, which reset
// the walk anyway, so one walk over the whole text is the same thing.
// Returns the code points kept and whether any mark went over the limit.
std::pair<std::string, bool> reference_walk(std::string_view text, std::size_t limit) {
    std::string kept;
    bool over_any = false;
    std::optional<char32_t> base;
    bool excused = false;
    std::vector<std::pair<std::uint8_t, std::size_t>> counts;
    for (char32_t d : nfd_code_points(text)) {
        bool over = false;
        if (!excused && zalgo::is_negation_overlay(d, base)) {
            excused = true;
        } else if (!normalize::is_mark(d)) {
            counts.clear();
            base = d;
            excused = false;
        } else if (!(limit > 0 && normalize::combining_class(d) == 0)) {
            std::uint8_t cls = normalize::combining_class(d);
            auto it = std::find_if(counts.begin(), counts.end(), [&](auto& c) { return c.first == cls; });
            if (it == counts.end()) it = counts.insert(counts.end(), {cls, 0});
            over = ++it->second > limit;
        }
        over_any |= over;
        if (!over) utf8::append(kept, d);
    }
    return {normalize::to_nfc(kept), over_any};
}

std::optional<char32_t> reference_repeat(std::string_view text, std::string* collapsed) {
    std::optional<char32_t> first;
    char32_t last = 0xFFFFFFFF;  // none
    std::string kept;
    for (char32_t d : nfd_code_points(text)) {
        if (!normalize::is_mark(d)) {
            last = 0xFFFFFFFF;
        } else if (normalize::combining_class(d) != 0) {
            if (d == last) {
                if (!first) first = d;
                continue;
            }
            last = d;
        }
        utf8::append(kept, d);
    }
    if (collapsed) *collapsed = normalize::to_nfc(kept);
    return first;
}

std::string random_text(std::mt19937& rng) {
    static const char32_t pool[] = {
        'a',    '=',    ' ',    '<',    0x00E9, 0x01D6, 0x1E69, 0x0301, 0x0300, 0x0316, 0x0327, 0x0338,
        0x20D2, 0x0903, 0x20DD, 0x05B0, 0x1100, 0x1161, 0xAC00, 0x0F73, 0x0483, 0x2192, 0x00A8, 0x0345,
    };
    std::string text;
    std::size_t n = rng() % 14;
    for (std::size_t i = 0; i < n; ++i) utf8::append(text, pool[rng() % std::size(pool)]);
    return text;
}

}  // namespace

TEST(zalgo_negation_overlay) {
    struct Case {
        char32_t mark;
        std::optional<char32_t> base;
        bool overlay;
    };
    const Case cases[] = {
        {0x0338, U'=', true},     {0x0338, U'<', true},     {0x20D2, U'>', true},
        {0x0338, 0x2192, true},   {0x0338, 0x2208, true},   {0x0338, U'a', false},
        {0x0338, U'1', false},    {0x0338, 0x0661, false},  {0x0338, U' ', false},
        {0x0338, 0x00A0, false},  {0x0338, 0x0085, false},  {0x0338, 0x200B, false},
        {0x0338, 0xFDD0, false},  {0x0338, 0x1FFFE, false}, {0x0338, 0x00A8, false},  // spacing diaeresis
        {0x0338, 0x00B4, false},  {0x0338, 0x2167, false},  // Roman numeral: Nl
        {0x0338, std::nullopt, false},                      {0x0301, U'=', false},
    };
    for (const auto& c : cases) CHECK_EQ(zalgo::is_negation_overlay(c.mark, c.base), c.overlay);
}

// Canonical reordering never has to move a non-mark: the repeated-mark scan
// and the order-free stack walk both rely on it.
TEST(zalgo_only_marks_have_a_nonzero_combining_class) {
    for (char32_t cp = 0; cp < 0x110000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        if (normalize::combining_class(cp) != 0 && !normalize::is_mark(cp)) CHECK_EQ(hex(cp), "a mark");
    }
}

TEST(zalgo_find_repeated_mark) {
    struct Case {
        const char* text;
        std::optional<char32_t> mark;
    };
    const Case cases[] = {
        {"a\u0301\u0301", 0x0301},
        {"a\u0301\u0316\u0301", 0x0301},   // canonical order brings the two together
        {"\u00E1\u0301", 0x0301},          // the first comes from a decomposition
        {"a\u0301\u0903\u0301", 0x0301},   // a class-0 mark between them is transparent
        {"a\u0301\u0903\u0301\u0316", std::nullopt},  // second run starts with U+0316
        {"", std::nullopt},
    };
    for (const auto& c : cases) CHECK_EQ(hex(zalgo::find_repeated_mark(c.text)), hex(c.mark));
}

// The order-free walk and the run-by-run repeat scan against the rules applied
// literally over canonical order.
TEST(zalgo_fast_paths_match_reference) {
    std::mt19937 rng(11);
    for (int round = 0; round < 4000; ++round) {
        std::string text = random_text(rng);
        std::size_t limit = rng() % 4;
        auto [stripped, over] = reference_walk(text, limit);
        CHECK_EQ(zalgo::is_zalgo(text, limit), over);
        std::string out;
        zalgo::strip_zalgo(text, limit, out);
        CHECK_EQ(out, utf8::is_ascii(text) ? std::string(text) : over ? stripped : normalize::to_nfc(text));
        std::string collapsed;
        std::optional<char32_t> repeat = reference_repeat(text, &collapsed);
        CHECK_EQ(hex(zalgo::find_repeated_mark(text)), hex(repeat));
        std::string got = "untouched";
        bool changed = zalgo::collapse_repeated_marks(text, got);
        CHECK_EQ(got, changed ? collapsed : std::string("untouched"));
        CHECK_EQ(changed, repeat.has_value());
    }
}

// Quadratic work would not finish on a million marks.
TEST(zalgo_million_marks) {
    std::string alternating = "a";
    for (int i = 0; i < 500000; ++i) alternating += "\u0301\u0316";
    CHECK(zalgo::is_zalgo(alternating, 3));
    CHECK(!zalgo::is_zalgo(alternating, std::numeric_limits<std::size_t>::max()));
    std::string out;
    zalgo::strip_zalgo(alternating, 3, out);
    CHECK_EQ(out, std::string("\u00E1\u0316\u0316\u0316\u0301\u0301"));
    CHECK_EQ(hex(zalgo::find_repeated_mark(alternating)), hex(0x0316));
    CHECK(zalgo::collapse_repeated_marks(alternating, out));
    CHECK_EQ(out, std::string("\u00E1\u0316"));
    zalgo::strip_zalgo(alternating, 0, out);
    CHECK_EQ(out, std::string("a"));
    zalgo::strip_zalgo(alternating, std::numeric_limits<std::size_t>::max(), out);
    CHECK_EQ(out, normalize::to_nfc(alternating));
    std::string bare;  // marks with no base at all
    for (int i = 0; i < 1000000; ++i) bare += "\u0301";
    CHECK(zalgo::is_zalgo(bare, 3));
    zalgo::strip_zalgo(bare, 0, out);
    CHECK_EQ(out, std::string());
    zalgo::strip_zalgo(bare, 3, out);
    CHECK_EQ(out, std::string("\u0301\u0301\u0301"));
}
