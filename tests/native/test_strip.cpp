#include <optional>
#include <string>
#include <vector>

#include "testing.hpp"
#include "text/strip.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using testing::u8;

namespace {

// England: U+1F3F4, tag letters g b e n g, cancel tag.
const std::u32string kEngland = U"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F";
const std::u32string kScotland = U"\U0001F3F4\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F";
const std::u32string kWales = U"\U0001F3F4\U000E0067\U000E0062\U000E0077\U000E006C\U000E0073\U000E007F";

struct FormatCase {
    const char* id;
    std::u32string text;
    bool strip_private_use;
    bool keep_emoji_vs;
    std::u32string expected;
};

}  // namespace

TEST(strip_format_chars_cases) {
    const FormatCase cases[] = {
        {"emoji_keeps_vs16", U"\u2764\uFE0F", false, true, U"\u2764\uFE0F"},
        {"letter_keeps_vs15", U"a\uFE0E", false, true, U"a\uFE0E"},
        {"space_loses_vs16", U" \uFE0F", false, true, U" "},
        {"zero_width_loses_vs16", U"\u200B\uFE0F", false, true, U"\u200B"},
        {"control_loses_vs16", U"\u0085\uFE0F", false, true, U"\u0085"},
        {"filler_loses_vs16", U"\u3164\uFE0F", false, true, U"\u3164"},
        {"leading_vs16_dropped", U"\uFE0Fa", false, true, U"a"},
        {"judged_on_output_not_input", U"\u2764\u034F\uFE0F", false, true, U"\u2764\uFE0F"},
        {"judged_on_output_after_dropped_start", U"\u034F\uFE0F", false, true, U""},
        {"second_selector_after_kept_one", U"\u2764\uFE0F\uFE0F", false, true, U"\u2764\uFE0F\uFE0F"},
        {"vs1_always_dropped", U"a\uFE00", false, true, U"a"},
        {"vs17_always_dropped", U"a\U000E0100", false, true, U"a"},
        {"no_keep_drops_every_selector", U"\u2764\uFE0F a\uFE0E", false, false, U"\u2764 a"},
        {"cgj_and_tags_dropped", U"a\u034Fb\U000E0041c", false, false, U"abc"},
        {"flag_kept", U"x" + kWales + U"y", false, false, U"x" + kWales + U"y"},
        {"noncharacters_dropped", U"a\uFDD0\uFFFE\U0010FFFFb", false, false, U"ab"},
        {"musical_and_shorthand_format_dropped", U"a\U0001D173\U0001BCA0b", false, false, U"ab"},
        {"private_use_kept_by_default", U"a\uE000\U000F0000", false, false, U"a\uE000\U000F0000"},
        {"private_use_dropped_on_request", U"a\uE000\U000F0000\U0010FFFDb", true, false, U"ab"},
        {"plane_end_noncharacter_is_not_private_use", U"\U0010FFFE", true, false, U""},
        {"zero_width_and_bidi_kept", U"a\u200B\u202Eb", true, true, U"a\u200B\u202Eb"},
        {"ascii", U"plain ascii text", true, true, U"plain ascii text"},
        {"empty", U"", true, true, U""},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        strip::strip_format_chars(u8(c.text), c.strip_private_use, c.keep_emoji_vs, out);
        CHECK_EQ_FOR(c.id, out, u8(c.expected));
    }
}

TEST(strip_flag_tag_sequence_len) {
    for (const auto& flag : {kEngland, kScotland, kWales}) {
        CHECK(strip::flag_tag_sequence_len(std::u32string_view(flag)) == std::optional<std::size_t>(7));
        CHECK(strip::flag_tag_sequence_len(u8(flag)) == std::optional<std::size_t>(7));
        // Only the start matters: whatever follows is not inspected.
        CHECK(strip::flag_tag_sequence_len(u8(flag + U"tail")) == std::optional<std::size_t>(7));
        CHECK_EQ(u8(flag).size(), strip::kFlagTagSequenceBytes);
    }
    const std::u32string rejected[] = {
        U"",
        U"\U0001F3F4",
        kEngland.substr(0, 6),                                                      // ends early
        U"\U0001F3F4\U000E0075\U000E0073\U000E0063\U000E0061\U000E007F",            // "usca": four letters
        U"\U0001F3F4\U000E0075\U000E0073\U000E0074\U000E0078\U000E0078\U000E007F",  // "ustxx"
        U"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E0067\U000E007F",  // six letters
        U"\U0001F3F4\U000E0047\U000E0042\U000E0045\U000E004E\U000E0047\U000E007F",  // upper-case tag letters
        U"x" + kEngland,
    };
    for (const auto& chars : rejected) {
        CHECK(!strip::flag_tag_sequence_len(std::u32string_view(chars)));
        CHECK(!strip::flag_tag_sequence_len(u8(chars)));
    }
}

TEST(strip_filters_empty_their_output_first) {
    using Filter = void (*)(std::string_view, std::string&);
    const Filter filters[] = {strip::collapse_whitespace, strip::strip_control_chars, strip::strip_zero_width_chars,
                              strip::strip_bidi,          strip::strip_pua,           strip::strip_noncharacters,
                              strip::strip_variation_selectors};
    for (Filter f : filters) {
        for (std::string_view text : {"ascii", "caf\xC3\xA9", ""}) {
            std::string out = "stale";
            f(text, out);
            CHECK_EQ(out, std::string(text));
        }
    }
}
