#include <random>
#include <string>
#include <vector>

#include "presets/slug_regex.hpp"
#include "presets/slugify.hpp"
#include "testing.hpp"
#include "text/case_fold.hpp"
#include "text/grapheme.hpp"
#include "util/utf8.hpp"

using namespace kelrad;
using namespace kelrad::slugify;

namespace {

bool valid_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

struct TrimCase {
    const char* id;
    std::string_view text;  // the uncut text
    std::size_t cut;
    std::string_view separator;
    bool unicode;
    std::string_view expected;
};

}  // namespace

// The trim removes bytes only where the uncut text holds a whole separator
// starting at them.
TEST(slug_trim_trailing_separator) {
    const TrimCase cases[] = {
        {"whole_separator_left", "hello-world", 6, "-", false, "hello"},
        {"cut_before_separator", "hello-world", 5, "-", false, "hello"},
        {"partial_multibyte_separator", "abc-x-def", 5, "-x-", false, "abc"},
        {"text_is_separator_prefix", "--b", 1, "--", false, ""},
        {"word_end_like_separator_start", "boxx-fox", 3, "x-", false, "box"},
        {"safe_char_before_separator", "c---grade", 2, "--", false, "c-"},
        {"separator_inside_word_cut", "ab--cd", 3, "--", false, "ab"},
        {"empty_separator", "abc", 2, "", false, "ab"},
        {"joiner_then_separator", "a\u200D-b", 4, "-", true, "a"},
        {"joiners_only_with_unicode", "a\u200Db", 4, "-", false, "a\u200D"},
        {"two_byte_separator_character", "a\u00B7b", 3, "\u00B7", false, "a"},
    };
    for (const auto& c : cases) {
        const std::size_t end = trim_trailing_separator(c.text, c.cut, c.separator, c.unicode);
        CHECK_EQ_FOR(c.id, c.text.substr(0, end), c.expected);
    }
}

TEST(slug_character_references) {
    struct Case {
        const char* id;
        std::string_view text;
        bool decimal, hexadecimal;
        std::string_view expected;
    };
    const Case cases[] = {
        {"named", "&amp;&lt;&gt;&quot;&apos;", true, true, "&<>\"'"},
        {"named_needs_semicolon_and_case", "&amp &AMP; &Lt;", true, true, "&amp &AMP; &Lt;"},
        {"no_rescan", "&amp;lt;", true, true, "&lt;"},
        {"numeric_forms", "&#65;&#x41;&#X41", true, true, "AAA"},
        {"white_space_controls_decode", "a&#9;b&#10;c&#13;d", true, true, "a\tb\nc\rd"},
        {"other_controls_dropped", "a&#0;&#8;&#14;&#127;&#x9F;b", true, true, "ab"},
        {"surrogate_and_beyond_dropped", "a&#xD800;&#x110000;b", true, true, "ab"},
        {"overflow_dropped", "a&#4294967361;b&#xFFFFFFFFF;c", true, true, "abc"},
        {"largest_scalar", "&#x10FFFF;", true, true, "\U0010FFFF"},
        {"no_digits_keep_ampersand", "&#;&#x;&#", true, true, "&#;&#x;&#"},
        {"decimal_off", "&#65;&#x41;", false, true, "&#65;A"},
        {"hexadecimal_off", "&#65;&#x41;", true, false, "A&#x41;"},
        {"x_with_mark_not_decoded", "&#x\u0301", true, true, "&#x\u0301"},
        {"letter_digit_with_mark_ends_digits", "&#x41b\u0301", true, true, "Ab\u0301"},
        {"other_names_stay", "&nbsp;&eacute;", true, true, "&nbsp;&eacute;"},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        const bool changed = decode_char_references(c.text, c.decimal, c.hexadecimal, out);
        CHECK_EQ_FOR(c.id, changed ? out : std::string(c.text), std::string(c.expected));
    }
    std::string out = "stale";
    CHECK(!decode_char_references("no references here", true, true, out));
    CHECK_EQ(out, "stale");
}

TEST(slug_unique_candidates) {
    struct Case {
        const char* id;
        std::string_view base;
        std::uint64_t counter;
        std::string_view separator;
        std::size_t max_length;
        std::string_view expected;  // empty: too small
        std::uint64_t min_unique_len;
    };
    const Case cases[] = {
        {"bare", "hello", 0, "-", 5, "hello", 0},
        {"room_left", "hello", 1, "-", 0, "hello-1", 0},
        {"cut_for_suffix", "hello", 9, "-", 5, "hel-9", 0},
        {"cut_more", "hello", 100, "-", 5, "h-100", 0},
        {"no_room", "hello", 1000, "-", 5, "", 6},
        {"empty_separator", "hello", 12, "", 5, "hel12", 0},
        {"cut_leaves_separator", "ab-cd", 1, "-", 5, "ab-1", 0},
        {"multibyte_first_character", "\u00E9t\u00E9", 1, "-", 3, "", 4},
        {"cut_inside_multi_separator", "a--b", 1, "--", 5, "a--1", 0},
    };
    for (const auto& c : cases) {
        auto got = unique_slug_candidate(c.base, c.counter, c.separator, c.max_length, false);
        if (c.expected.empty()) {
            const auto* e = got ? nullptr : std::get_if<error::UniqueSlugMaxLengthTooSmall>(&got.error());
            CHECK_FOR(c.id, e != nullptr && e->min_unique_len == c.min_unique_len && e->max_length == c.max_length);
        } else {
            CHECK_FOR(c.id, got.has_value() && *got == c.expected);
        }
    }
}

TEST(slug_pattern_rewrite) {
    // Perl classes become Unicode classes inside and outside brackets; the
    // rest of the pattern is left as RE2 reads it.
    auto rewritten = rewrite_pattern(R"(a\w[^\d_]\\w\Q\s\E(?<n>x)[[:alpha:]\x{41}]\p{Greek})");
    CHECK(rewritten.has_value());
    if (rewritten) {
        CHECK(rewritten->text.starts_with(R"(a[\x{30}-\x{39}\x{41}-\x{5A}\x{5F}\x{61}-\x{7A})"));
        CHECK(rewritten->text.find(R"([^\x{30}-\x{39}\x{660}-\x{669})") != std::string::npos);
        CHECK(rewritten->text.ends_with(R"(\\w\Q\s\E(?P<n>x)[[:alpha:]\x{41}]\p{Greek})"));
    }
    const std::pair<std::string_view, std::string_view> refused[] = {
        {"(?=a)", "look-around"},  {"(?<!a)", "look-around"},      {"(a)\\1", "backreferences"},
        {"[a[b]]", "nested character classes"}, {"[a&&b]", "set operations"}, {"[a--b]", "set operations"},
        {"[a~~b]", "set operations"}, {"\\C", "single byte"},      {"[\\w", "missing ]: [\\w"},
        {"[!-\\d]", "invalid character class range: !-\\d"}, {"[\\S-z]", "range: \\S-z"},
        {"[\\P{Greek}-z]", "range: \\P{Greek}-z"},         {"[\\1-9]", "backreferences"},
    };
    for (const auto& [pattern, reason] : refused) {
        auto r = rewrite_pattern(pattern);
        CHECK_FOR(pattern, !r.has_value() && r.error().find(reason) != std::string::npos);
    }
    // A [ that ends a range is a character, so the class ends at the first ]
    // and the \d after it stands outside brackets.
    auto range_to_bracket = rewrite_pattern(R"([!-[:a:]\d])");
    CHECK(range_to_bracket.has_value() && range_to_bracket->text.starts_with(R"([!-[:a:][\x{30}-\x{39})") &&
          range_to_bracket->text.ends_with("]]"));
    std::string deep(250, '(');
    deep += "a" + std::string(250, ')');
    CHECK(rewrite_pattern(deep).has_value());
    CHECK(!rewrite_pattern("(" + deep + ")").has_value());
    CHECK(!rewrite_pattern(std::string(250, '(') + "[a]" + std::string(250, ')')).has_value());
}

TEST(slug_regex_cache) {
    auto first = resolve_regex("p0");
    CHECK(first.has_value() && first->has_value());
    auto again = resolve_regex("p0");
    CHECK(again.has_value() && again->has_value() && (*again)->same_program(**first));
    for (int i = 1; i < 32; ++i) CHECK(resolve_regex("p" + std::to_string(i)).has_value());
    CHECK_EQ(regex_cache_len(), std::size_t{32});
    CHECK(resolve_regex("p7").has_value());  // a hit does not empty a full cache
    CHECK_EQ(regex_cache_len(), std::size_t{32});
    CHECK(!resolve_regex("(").has_value());  // refused patterns are not stored
    CHECK(!resolve_regex(std::string(513, 'a')).has_value());
    CHECK_EQ(regex_cache_len(), std::size_t{32});
    CHECK(resolve_regex("p32").has_value());
    CHECK_EQ(regex_cache_len(), std::size_t{1});
    auto recompiled = resolve_regex("p0");
    CHECK(recompiled.has_value() && !(*recompiled)->same_program(**first));
    // A program handed out before the cache dropped it still runs.
    std::string out;
    CHECK((*first)->delete_matches("ap0b", out));
    CHECK_EQ(out, "ab");
    CHECK(!resolve_regex(std::nullopt).value().has_value());
}

// The table-driven ASCII pass and the character pass agree on ASCII text.
TEST(slug_separator_pass_fast_path_matches_plain_path) {
    std::mt19937 rng(1177);
    const std::string alphabet = "aZ09 -_.,!&x";
    const std::string_view separators[] = {"-", "", "--", "x-", "_", "\u00B7"};
    const std::u32string safe_sets[] = {U"", U".", U"-_", U"\u00E9"};
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int len = static_cast<int>(rng() % 12);
        for (int i = 0; i < len; ++i) text += alphabet[rng() % alphabet.size()];
        const std::string_view sep = separators[rng() % std::size(separators)];
        const std::u32string& safe = safe_sets[rng() % std::size(safe_sets)];
        const bool lower = rng() % 2;
        std::string fast, plain;
        separator_class(text, sep, safe, lower, fast);
        std::string input = lower ? case_fold::to_lowercase_cow(text).value_or(text) : text;
        unicode_separator_class(input, sep, safe, false, plain);
        CHECK_EQ_FOR("text '" + text + "' separator '" + std::string(sep) + "'", fast, plain);
    }
}

// A cluster boundary of `text`, once the joiners that a cut removes from the
// end are counted back in.
bool is_cluster_boundary(std::string_view text, std::size_t at) {
    while (text.substr(at).starts_with("\u200C") || text.substr(at).starts_with("\u200D")) at += 3;
    std::size_t pos = 0;
    while (pos < at) pos = grapheme::next_boundary(text, pos);
    return pos == at;
}

// Any text, any options: valid UTF-8, within max_length, a prefix of the slug
// made without the limit, and with Unicode kept, cut between clusters (but
// for joiners left at the end).
TEST(slug_fuzz_core) {
    std::mt19937 rng(4242);
    const std::string_view pieces[] = {
        "a",  "Z",  "7",      " ",        "-",        "_",      ".",        "&amp;",    "&#65;", "&#x2D;",
        "\u00E9", "e\u0301", "\u0301", "\u200D", "\u200C", "\u24B6", "\u65E5\u672C", "\u0416", "\U0001F600",
        "\u0915\u094D\u0937", "\u1100\u1161", "x-", "--", "\u00DF", "\u0130", "\u03A3",
    };
    const std::string_view separators[] = {"-", "", "--", "x-", "\u00B7", "-x-"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int len = static_cast<int>(rng() % 14);
        for (int i = 0; i < len; ++i) text += pieces[rng() % std::size(pieces)];
        SlugifyOptions options;
        options.separator = separators[rng() % std::size(separators)];
        options.allow_unicode = rng() % 2;
        options.lowercase = rng() % 4 != 0;
        options.word_boundary = rng() % 2;
        options.save_order = rng() % 2;
        if (rng() % 3 == 0) options.stopwords = {"a", "x"};
        if (rng() % 4 == 0) options.safe_chars = rng() % 2 ? "." : "-";
        if (rng() % 4 == 0) options.replacements = {{"a", "-"}, {"7", "seven"}, {"", "?"}};
        const std::string whole = slugify::slugify(text, options);
        options.max_length = rng() % 12;
        const std::string cut = slugify::slugify(text, options);
        const bool ok = valid_utf8(cut) && valid_utf8(whole) &&
                        (options.max_length == 0 || cut.size() <= options.max_length) && whole.starts_with(cut) &&
                        (!options.allow_unicode || is_cluster_boundary(whole, cut.size()));
        if (!ok) {
            std::cerr << "text '" << text << "' separator '" << options.separator << "' max " << options.max_length
                      << " unicode " << options.allow_unicode << " -> '" << cut << "' of '" << whole << "'\n";
        }
        CHECK(ok);
    }
}
