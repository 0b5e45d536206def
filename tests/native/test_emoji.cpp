#include <cstdint>
#include <optional>
#include <string>

#include "tables/emoji.hpp"
#include "testing.hpp"
#include "text/emoji.hpp"

using namespace kelrad;
using testing::u8;

// The consumed counts, which demojize only shows through what follows.
TEST(emoji_lookup_name) {
    const struct {
        const char* id;
        std::u32string cps;
        const char* name;  // nullptr: no name
        std::size_t consumed;
    } cases[] = {
        {"no_flag_pair", U"\U0001F1E6\U0001F1E6", nullptr, 0},
        {"keycap_text_style", U"#\uFE0E\u20E3", "keycap: #", 3},
        {"selector_after_skin_tone_kept", U"\U0001F44D\U0001F3FB\uFE0F", "thumbs up: light skin tone", 2},
        {"family_qualified", U"\U0001F468\uFE0F\u200D\U0001F469\uFE0F\u200D\U0001F467\uFE0F",
         "family: man, woman, girl", 7},
        {"unnamed_chain_names_first", U"\U0001F600\u200D\U0001F600", "grinning face", 1},
        {"red_heart_text_selector", U"\u2764\uFE0E", "red heart", 2},
        {"copyright", U"\u00A9\uFE0F", nullptr, 0},
        {"kiss_nine", U"\U0001F9D1\U0001F3FB\u200D\u2764\uFE0F\u200D\U0001F48B\u200D\U0001F9D1\U0001F3FC",
         "kiss: person, person, light skin tone, medium-light skin tone", 10},
    };
    for (const auto& c : cases) {
        std::optional<emoji::NameMatch> m = emoji::lookup_name(c.cps);
        CHECK_FOR(c.id, c.name == nullptr ? !m : (m && m->name == c.name && m->consumed == c.consumed));
    }
    CHECK(!emoji::trie_lookup(std::u32string_view(U"\u2764")));  // one code point is never a trie match
}

// The pipelines' demojize keeps the named text symbols.
TEST(emoji_demojize_keep_text_symbols) {
    const struct {
        const char* id;
        std::u32string text;
        std::u32string expected;
    } cases[] = {
        {"arrow_and_euro_kept", U"\u2192 5\u20AC", U"\u2192 5\u20AC"},
        {"no_space_before_punctuation_symbol", U"\u2764\u2026x", U"red heart\u2026x"},
        {"space_before_look_alike_symbol", U"\U0001F600\u2223", U"grinning face \u2223"},
        {"pictographic_named", U"\u266A", U"eighth note"},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        emoji::demojize(u8(c.text), false, true, {}, out);
        CHECK_EQ_FOR(c.id, out, u8(c.expected));
    }
}

// Demojize and replace_emoji settle an emoji followed by anything else
// without a lookup past it, which holds only while every named sequence
// goes on from its first code point with one of these.
TEST(emoji_sequences_go_on_with_a_joiner_modifier_keycap_or_indicator) {
    for (std::uint32_t edge = tables::EMOJI_TRIE_FIRST[0]; edge < tables::EMOJI_TRIE_FIRST[1]; ++edge) {
        const std::uint32_t node = edge + 1;
        for (std::uint32_t next = tables::EMOJI_TRIE_FIRST[node]; next < tables::EMOJI_TRIE_FIRST[node + 1]; ++next) {
            const char32_t c = tables::EMOJI_TRIE_LABELS[next];
            CHECK_FOR(std::to_string(static_cast<std::uint32_t>(tables::EMOJI_TRIE_LABELS[edge])),
                      c == emoji::kZwj || emoji::is_modifier(c) || c == emoji::kCombiningKeycap ||
                          emoji::is_regional_indicator(c));
        }
    }
}
