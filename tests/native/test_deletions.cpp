#include <random>
#include <string>
#include <vector>

#include "testing.hpp"
#include "text/deletions.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using testing::u8;

namespace {

struct ReplayCase {
    const char* id;
    std::u32string text;
    bool resolve_cr;
    bool changed;
    std::u32string resolved;  // when changed
};

// The replay as a terminal does it, one string per cell: erased cells stay in
// place, empty, and a carriage return only moves the cursor.
std::string reference_replay(std::string_view text, bool resolve_cr) {
    std::string out, prefix;
    std::vector<std::string> cells;
    std::size_t cursor = 0;
    auto flush = [&](std::string_view boundary) {
        out += prefix;
        for (const auto& cell : cells) out += cell;
        out += boundary;
        prefix.clear();
        cells.clear();
        cursor = 0;
    };
    for (std::size_t i = 0; i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        std::string_view ch = text.substr(i, len);
        i += len;
        if (cp == 0x0D && resolve_cr && i < text.size() && text[i] != '\n') {
            cursor = 0;
        } else if (cp == 0x0A || cp == 0x0B || cp == 0x0C || cp == 0x0D || cp == 0x85 || cp == 0x2028 ||
                   cp == 0x2029) {
            flush(ch);
        } else if (cp == 0x08 || cp == 0x7F) {
            if (cursor > 0) cells[--cursor].clear();
        } else if (deletions::is_visible_base(cp)) {
            if (cursor < cells.size()) {
                cells[cursor] = ch;
            } else {
                cells.emplace_back(ch);
            }
            ++cursor;
        } else {
            (cursor == 0 ? prefix : cells[cursor - 1]) += ch;
        }
    }
    flush({});
    return out;
}

std::string random_text(std::mt19937& rng, std::size_t max_len) {
    // Weighted towards the editing controls and line boundaries; bases of one
    // to four bytes; marks (Mn, Mc, Me) and invisibles that ride on a cell.
    static const char32_t pool[] = {
        'a',    'b',    ' ',    '\t',   0x00E9, 0x4E2D, 0x1F600, 0x0000, 0x00AD, 0x0301, 0x0903,
        0x20DD, 0x200B, 0x200D, 0xFE0F, 0xE0041, 0x202E, 0x08,   0x08,   0x08,   0x7F,   0x7F,
        0x0D,   0x0D,   0x0D,   0x0A,   0x0B,   0x0C,   0x85,    0x2028, 0x2029,
    };
    std::string text;
    std::size_t n = rng() % (max_len + 1);
    for (std::size_t i = 0; i < n; ++i) utf8::append(text, pool[rng() % std::size(pool)]);
    return text;
}

}  // namespace

TEST(deletions_replay) {
    const ReplayCase cases[] = {
        {"backspace_erases", U"abc\b\bX", false, true, U"aX"},
        {"delete_erases_like_backspace", U"abc\x7f\x7fX", false, true, U"aX"},
        {"leading_backspace_dropped", U"\bab", false, true, U"ab"},
        {"mark_erased_with_base", U"e\u0301\b", false, true, U""},
        {"mark_after_erase_rides_on_previous", U"ab\b\u0301", false, true, U"a\u0301"},
        {"erase_stops_at_line_feed", U"abc\b\n", false, true, U"ab\n"},
        {"backspace_after_boundary_does_nothing", U"ab\n\bc", false, true, U"ab\nc"},
        {"nel_and_separator_are_boundaries", U"a\u0085\bb\u2028\bc", false, true, U"a\u0085b\u2028c"},
        {"tab_is_a_cell", U"a\t\bb", false, true, U"ab"},
        {"invisible_at_line_start_survives", U"\u200Bx\b", false, true, U"\u200B"},
        {"erased_cell_keeps_place_for_overwrite", U"abc\b\bX\b\bY", false, true, U"Y"},
        {"cr_is_boundary_without_resolve_cr", U"ab\rc\b", false, true, U"ab\r"},
        {"cr_without_erasers_is_untouched", U"ab\rc", false, false, U""},
        {"no_controls_past_eight_bytes", U"no controls at all, even past eight bytes", false, false, U""},
        {"cr_overwrites", U"ab\rc", true, true, U"cb"},
        {"cr_overwrite_keeps_later_cells", U"abc\rX", true, true, U"Xbc"},
        {"cr_cr_overwrites_once", U"ab\r\rc", true, true, U"cb"},
        {"backspace_after_cr_does_nothing", U"ab\r\bX", true, true, U"Xb"},
        {"cr_lf_passes", U"ab\r\ncd", true, false, U""},
        {"trailing_cr_passes", U"abc\r", true, false, U""},
        {"mark_after_cr_goes_to_prefix", U"ab\r\u0301", true, true, U"\u0301ab"},
        {"cr_lf_then_backspace", U"ab\r\n\bc", true, true, U"ab\r\nc"},
        {"plain_text", U"plain text, no controls", true, false, U""},
        {"empty", U"", true, false, U""},
    };
    for (const auto& c : cases) {
        std::string text = u8(c.text);
        std::string out = "stale";
        CHECK_EQ_FOR(c.id, deletions::resolve_deletions(text, c.resolve_cr, out), c.changed);
        // Without erasers (and carriage returns to resolve) the output is not written.
        CHECK_EQ_FOR(c.id, out, c.changed ? u8(c.resolved) : c.resolve_cr ? out : "stale");
    }
}

// Long random texts reach deep erasures and overwrites after a carriage return.
TEST(deletions_replay_matches_reference) {
    std::mt19937 rng(1122);
    for (int round = 0; round < 20'000; ++round) {
        const std::string text = random_text(rng, round % 10 == 0 ? 400 : 24);
        for (bool resolve_cr : {false, true}) {
            const std::string expected = reference_replay(text, resolve_cr);
            std::string out = "stale";
            const bool changed = deletions::resolve_deletions(text, resolve_cr, out);
            CHECK_EQ_FOR(testing::cp_names(text), changed, expected != text);
            if (changed || out != "stale") CHECK_EQ_FOR(testing::cp_names(text), out, expected);
        }
    }
}

TEST(deletions_linear_on_hostile_input) {
    std::string text = "x";
    for (int i = 0; i < 1'000'000; ++i) text += "\xCC\x81";  // U+0301
    text += '\b';
    std::string out;
    CHECK(deletions::resolve_deletions(text, false, out));
    CHECK_EQ(out, std::string());

    std::string erasers(1'000'000, '\b');
    CHECK(deletions::resolve_deletions("ab" + erasers + "c", true, out));
    CHECK_EQ(out, std::string("c"));

    std::string returns;
    for (int i = 0; i < 200'000; ++i) returns += "ab\r";
    returns += "X";
    CHECK(deletions::resolve_deletions(returns, true, out));
    CHECK_EQ(out, std::string("Xb"));
}

TEST(deletions_visible_base) {
    const char32_t invisible[] = {0x0300, 0x0903, 0x20DD, 0x200B, 0x200D, 0x180E, 0x2064, 0xFEFF, 0x1BCA3,
                                  0x1D17A, 0xE0000, 0xE007F, 0xFE0F, 0xE01EF, 0x061C, 0x200F, 0x202E, 0x2069};
    for (char32_t c : invisible) CHECK(!deletions::is_visible_base(c));
    const char32_t visible[] = {0x00, 0x09, 0x20, 0x41, 0x7F, 0xAD, 0x2060 - 1, 0x206A, 0x2065, 0x3000, 0x1F600};
    for (char32_t c : visible) CHECK(deletions::is_visible_base(c));
}
