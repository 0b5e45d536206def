#include <iostream>
#include <optional>
#include <string>

#include "testing.hpp"
#include "text/emoji.hpp"

using namespace kelrad;
using testing::u8;

namespace {

struct ExtentCase {
    const char* id;
    std::u32string cps;
    bool is_emoji;
    std::size_t len;
};

void check_extents(const ExtentCase (&cases)[], std::size_t n, emoji::Extent (*fn)(std::span<const char32_t>)) {
    for (std::size_t i = 0; i < n; ++i) {
        const ExtentCase& c = cases[i];
        emoji::Extent e = fn(c.cps);
        if (e.is_emoji != c.is_emoji || (c.is_emoji && e.len != c.len)) std::cerr << "case " << c.id << "\n";
        CHECK_EQ(e.is_emoji, c.is_emoji);
        if (c.is_emoji) CHECK_EQ(e.len, c.len);
    }
}

struct NameCase {
    const char* id;
    std::u32string cps;
    const char* name;  // nullptr: no name
    std::size_t consumed;
};

}  // namespace

TEST(emoji_parse_element) {
    static const ExtentCase cases[] = {
        {"empty", U"", false, 0},
        {"text_default_alone", U"\u263A", false, 0},
        {"text_default_selector", U"\u263A\uFE0F", true, 2},
        {"presentation_skin_selector", U"\U0001F600\U0001F3FB\uFE0F", true, 3},
        {"modifiers_any_order", U"\U0001F600\uFE0F\U000E0041\uFE0E\U0001F3FFx", true, 5},
        {"keycap_qualified", U"1\uFE0F\u20E3", true, 3},
        {"keycap_bare", U"#\u20E3", true, 2},
        {"keycap_base_alone", U"#", false, 0},
        {"keycap_base_selector_only", U"#\uFE0F", false, 0},
        {"keycap_text_selector", U"#\uFE0E\u20E3", false, 0},
        {"indicator_pair", U"\U0001F1E6\U0001F1E6\uFE0F", true, 2},
        {"indicator_alone", U"\U0001F1E6x", true, 1},
        {"modifier_base_skin_tone", U"\U0001F590\U0001F3FB", true, 2},
        {"non_base_skin_tone", U"\u263A\U0001F3FB", false, 0},
        {"letter_selector", U"a\uFE0F", false, 0},
    };
    check_extents(cases, std::size(cases), emoji::parse_element);
}

TEST(emoji_sequence_len) {
    static const ExtentCase cases[] = {
        {"family", U"\U0001F468\u200D\U0001F469\u200D\U0001F467", true, 5},
        {"dangling_joiner", U"\U0001F468\u200Dx", true, 1},
        {"joiner_at_end", U"\U0001F468\u200D", true, 1},
        {"unnamed_chain", U"\U0001F600\u200D\U0001F600", true, 3},
        {"indicators_do_not_join", U"\U0001F1E6\U0001F1E6\u200D\U0001F600", true, 2},
        {"keycaps_do_not_join", U"1\u20E3\u200D\U0001F600", true, 2},
        {"joined_text_default_needs_selector", U"\U0001F3F3\uFE0F\u200D\u26A7\uFE0F", true, 5},
        {"text_default_bare", U"\U0001F3F3\u200D\u26A7", false, 0},
        {"skin_tone_then_joiner", U"\u26F9\U0001F3FB\u200D\u2642\uFE0F", true, 5},
        {"not_an_emoji", U"a\u200D\U0001F600", false, 0},
    };
    check_extents(cases, std::size(cases), emoji::sequence_len);
}

TEST(emoji_lookup_name) {
    const NameCase cases[] = {
        {"flag", U"\U0001F1E9\U0001F1EA", "flag: Germany", 2},
        {"no_flag_pair", U"\U0001F1E6\U0001F1E6", nullptr, 0},
        {"lone_indicator", U"\U0001F1E6", nullptr, 0},
        {"keycap_qualified", U"#\uFE0F\u20E3", "keycap: #", 3},
        {"keycap_bare", U"#\u20E3", "keycap: #", 2},
        {"keycap_text_style", U"#\uFE0E\u20E3", "keycap: #", 3},
        {"keycap_base_alone", U"#", nullptr, 0},
        {"selector_after_skin_tone_kept", U"\U0001F44D\U0001F3FB\uFE0F", "thumbs up: light skin tone", 2},
        {"family", U"\U0001F468\u200D\U0001F469\u200D\U0001F467", "family: man, woman, girl", 5},
        {"family_qualified", U"\U0001F468\uFE0F\u200D\U0001F469\uFE0F\u200D\U0001F467\uFE0F",
         "family: man, woman, girl", 7},
        {"dangling_joiner", U"\U0001F468\u200Dx", "man", 1},
        {"unnamed_chain_names_first", U"\U0001F600\u200D\U0001F600", "grinning face", 1},
        {"heart_on_fire", U"\u2764\uFE0F\u200D\U0001F525", "heart on fire", 4},
        {"red_heart", U"\u2764", "red heart", 1},
        {"red_heart_selector", U"\u2764\uFE0F", "red heart", 2},
        {"red_heart_text_selector", U"\u2764\uFE0E", "red heart", 2},
        {"arrow", U"\u2192", "right-pointing arrow", 1},
        {"copyright", U"\u00A9\uFE0F", nullptr, 0},
        {"skin_tone_alone", U"\U0001F3FB", "light skin tone", 1},
        {"kiss_nine", U"\U0001F9D1\U0001F3FB\u200D\u2764\uFE0F\u200D\U0001F48B\u200D\U0001F9D1\U0001F3FC",
         "kiss: person, person, light skin tone, medium-light skin tone", 10},
        {"england", U"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F", "flag: England", 7},
    };
    for (const auto& c : cases) {
        std::optional<emoji::NameMatch> m = emoji::lookup_name(c.cps);
        bool ok = c.name == nullptr ? !m : (m && m->name == c.name && m->consumed == c.consumed);
        if (!ok) std::cerr << "case " << c.id << "\n";
        CHECK(ok);
    }
    CHECK(!emoji::trie_lookup(std::u32string_view(U"\u2764")));  // one code point is never a trie match
}

TEST(emoji_demojize_keep_text_symbols) {
    struct Case {
        const char* id;
        std::u32string text;
        std::u32string expected;
    } const cases[] = {
        {"arrow_kept", U"\u2192", U"\u2192"},
        {"euro_kept", U"5\u20AC", U"5\u20AC"},
        {"emoji_still_named", U"\u2764\u2192x", U"red heart\u2192x"},
        {"no_space_before_punctuation_symbol", U"\U0001F600\u2026", U"grinning face\u2026"},
        {"pictographic_named", U"\u266A", U"eighth note"},
        {"space_before_look_alike_symbol", U"\U0001F600\u2223", U"grinning face \u2223"},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        emoji::demojize(u8(c.text), false, true, {}, out);
        if (out != u8(c.expected)) std::cerr << "case " << c.id << "\n";
        CHECK_EQ(out, u8(c.expected));
    }
}
