#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "testing.hpp"
#include "util/automaton.hpp"
#include "util/panic.hpp"

using namespace kelrad;
using automaton::AhoCorasick;
using automaton::Layout;
using automaton::Match;
using automaton::MatchKind;

namespace kelrad::automaton {
std::ostream& operator<<(std::ostream& os, const Match& m) {
    return os << "{" << m.pattern << ", " << m.start << ", " << m.end << "}";
}
}  // namespace kelrad::automaton

namespace {

constexpr MatchKind LL = MatchKind::LeftmostLongest;
constexpr MatchKind LF = MatchKind::LeftmostFirst;
constexpr Layout kLayouts[] = {Layout::Dense, Layout::Sparse};

std::string render(const std::vector<Match>& ms) {
    std::ostringstream os;
    for (const Match& m : ms) os << m;
    return os.str();
}

std::vector<Match> all_matches(const AhoCorasick& ac, std::string_view text) {
    std::vector<Match> out;
    for (const Match& m : ac.find_all(text)) out.push_back(m);
    return out;
}

// The definition, checked position by position: the earliest start at which
// any pattern matches, then the longest pattern there (leftmost-longest) or
// the first listed (leftmost-first); the next search begins at the match end.
std::vector<Match> oracle_matches(const std::vector<std::string>& patterns, MatchKind kind, std::string_view text) {
    std::vector<Match> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        bool found = false;
        for (std::size_t s = pos; s < text.size() && !found; ++s) {
            std::size_t best = 0;
            for (std::size_t i = 0; i < patterns.size(); ++i) {
                if (!text.substr(s).starts_with(patterns[i])) continue;
                if (!found || (kind == LL && patterns[i].size() > patterns[best].size())) best = i;
                found = true;
            }
            if (found) out.push_back({static_cast<std::uint32_t>(best), s, s + patterns[best].size()});
        }
        if (!found) break;
        pos = out.back().end;
    }
    return out;
}

std::string oracle_replace(std::string_view text, const std::vector<Match>& ms,
                           const std::vector<std::string>& values) {
    std::string out;
    std::size_t last = 0;
    for (const Match& m : ms) {
        out.append(text.substr(last, m.start - last));
        out.append(values[m.pattern]);
        last = m.end;
    }
    out.append(text.substr(last));
    return out;
}

// Values "<0>", "<1>", ...: the replaced text shows which pattern matched where.
std::vector<std::string> tag_values(std::size_t n) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < n; ++i) values.push_back("<" + std::to_string(i) + ">");
    return values;
}

struct HandCase {
    const char* id;
    std::vector<std::string> patterns;
    MatchKind kind;
    std::string text;
    const char* replaced;  // nullptr: nothing matches
};

}  // namespace

TEST(automaton_hand_cases) {
    const HandCase cases[] = {
        {"longest_takes_abc", {"ab", "abc"}, LL, "abcd", "<1>d"},
        {"first_takes_listed_shorter", {"ab", "abc"}, LF, "abcd", "<0>cd"},
        {"first_takes_listed_longer", {"abc", "ab"}, LF, "abcd", "<0>d"},
        {"first_falls_back_to_shorter", {"abcd", "ab"}, LF, "abce", "<1>ce"},
        {"first_skips_shadowed_pattern", {"abcd", "ab", "abc"}, LF, "abcx abcd", "<1>cx <0>"},
        {"leftmost_beats_longer_later", {"b", "abc"}, LL, "abd", "a<0>d"},
        // After "bc" is seen inside "abc", the later-starting "cd" must not
        // replace it when "abcde" fails.
        {"held_match_not_replaced_by_later_start", {"abcde", "bc", "cd"}, LL, "abcdz", "a<1>dz"},
        {"held_match_extends_to_longer", {"abcde", "bc", "cd"}, LL, "abcde", "<0>"},
        {"own_match_cuts_later_threads", {"ab", "abcx", "bc"}, LL, "abcy", "<0>cy"},
        {"nested_suffixes", {"abcd", "bcd", "cd", "d"}, LL, "abcabcdbcdcdd", "abc<0><1><2><3>"},
        {"duplicates_report_the_first", {"ab", "ab"}, LF, "ab", "<0>"},
        {"empty_text", {"a"}, LL, "", nullptr},
        {"no_patterns", {}, LL, "abc", nullptr},
        // U+00E9 precomposed is C3 A9; U+00E8 is C3 A8; the combining acute U+0301 is CC 81.
        {"utf8_shared_lead_byte", {"\u00e9", "\u00e8t\u00e9"}, LL, "\u00e8t\u00e9 \u00e9t\u00e9 \u00e8",
         "<1> <0>t<0> \u00e8"},
        {"utf8_decomposed_key", {"e\u0301", "e"}, LF, "e\u0301e\u00e9", "<0><1>\u00e9"},
        {"utf8_four_byte", {"\U0001F600", "\U0001F601x"}, LL, "a\U0001F600\U0001F601x\U0001F601",
         "a<0><1>\U0001F601"},
    };
    for (const HandCase& c : cases) {
        const auto values = tag_values(c.patterns.size());
        for (Layout layout : kLayouts) {
            auto ac = AhoCorasick::build(c.patterns, c.kind, layout);
            CHECK(ac.has_value());
            if (!ac) continue;
            std::string out = "untouched";
            bool changed = ac->replace_all(c.text, values, out);
            const std::string label = std::string(c.id) + (layout == Layout::Dense ? " dense" : " sparse");
            CHECK_EQ(changed ? label + ": " + out : label + ": no match " + out,
                     c.replaced ? label + ": " + c.replaced : label + ": no match untouched");
            CHECK_EQ(label + ": " + render(all_matches(*ac, c.text)),
                     label + ": " + render(oracle_matches(c.patterns, c.kind, c.text)));
        }
    }
}

TEST(automaton_find_starts_fresh_at_offset) {
    const std::vector<std::string_view> patterns = {"ab", "b"};
    for (Layout layout : kLayouts) {
        auto ac = AhoCorasick::build(patterns, LL, layout);
        CHECK(ac.has_value());
        if (!ac) continue;
        // From offset 1 the "a" is not seen: "b" matches, not "ab".
        CHECK((ac->find("abab", 1) == Match{1, 1, 2}));
        CHECK((ac->find("abab", 2) == Match{0, 2, 4}));
        CHECK(!ac->find("abab", 4));
        CHECK(!ac->find("abab", 99));
    }
}

TEST(automaton_replace_all_values) {
    const std::vector<std::string> patterns = {"a", "xy"};
    auto ac = AhoCorasick::build(patterns, LL);
    CHECK(ac.has_value());
    if (!ac) return;
    std::string out;
    // Values are not searched again, and an empty value deletes the match.
    CHECK(ac->replace_all("aaa", std::vector<std::string>{"aa", ""}, out));
    CHECK_EQ(out, "aaaaaa");
    CHECK(ac->replace_all("-xy-xya", std::vector<std::string_view>{"a", ""}, out));
    CHECK_EQ(out, "--a");
    // A match that leaves the text equal still counts as a change.
    CHECK(ac->replace_all("a", std::vector<std::string>{"a", "xy"}, out));
    CHECK_EQ(out, "a");
    bool refused = false;
    try {
        ac->replace_all("a", std::vector<std::string>{"x"}, out);
    } catch (const Panic&) {
        refused = true;
    }
    CHECK(refused);
}

TEST(automaton_refuses_empty_pattern) {
    for (MatchKind kind : {LL, LF}) {
        CHECK(!AhoCorasick::build(std::vector<std::string>{"a", ""}, kind));
        CHECK(!AhoCorasick::build(std::vector<std::string>{""}, kind));
    }
}

namespace {

struct Alphabet {
    const char* id;
    std::vector<std::string> letters;
};

// Fixed-seed comparison of every layout and kind against the oracle. Texts
// also draw on filler letters no pattern uses, in runs long enough for the
// word-at-a-time skip; the alphabets give patterns one, a few, or many
// possible first bytes, and multi-byte characters sharing lead bytes.
void check_against_oracle(const Alphabet& alphabet, std::uint32_t seed, int iterations) {
    std::mt19937 rng(seed);
    auto below = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const std::vector<std::string> filler = {"x", "yz", " "};
    int failures = 0;
    for (int iter = 0; iter < iterations && failures < 5; ++iter) {
        std::vector<std::string> patterns(1 + below(20));
        for (auto& p : patterns) {
            std::size_t len = 1 + below(5);
            for (std::size_t k = 0; k < len; ++k) p += alphabet.letters[below(alphabet.letters.size())];
        }
        std::string text;
        std::size_t len = below(8) == 0 ? below(200) : below(61);
        std::size_t filler_weight = below(4);  // 0: none, up to mostly filler
        for (std::size_t k = 0; k < len; ++k) {
            text += below(4) < filler_weight ? filler[below(filler.size())]
                                             : alphabet.letters[below(alphabet.letters.size())];
        }
        const auto values = tag_values(patterns.size());
        for (MatchKind kind : {LL, LF}) {
            const auto expected = oracle_matches(patterns, kind, text);
            const std::string expected_text = oracle_replace(text, expected, values);
            for (Layout layout : kLayouts) {
                auto ac = AhoCorasick::build(patterns, kind, layout);
                if (!ac) {
                    ++failures;
                    continue;
                }
                const auto got = all_matches(*ac, text);
                std::string out = "untouched";
                bool changed = ac->replace_all(text, values, out);
                bool ok = got == expected && changed == !expected.empty() &&
                          out == (changed ? expected_text : std::string("untouched"));
                for (const Match& m : got) {
                    // Whole patterns of whole characters match on character boundaries.
                    ok = ok && (static_cast<unsigned char>(text[m.start]) & 0xC0) != 0x80 &&
                         (m.end == text.size() || (static_cast<unsigned char>(text[m.end]) & 0xC0) != 0x80);
                }
                if (!ok) {
                    ++failures;
                    std::string pats;
                    for (const auto& p : patterns) pats += "'" + p + "' ";
                    std::cerr << alphabet.id << " iter " << iter << (kind == LL ? " longest " : " first ")
                              << (layout == Layout::Dense ? "dense" : "sparse") << "\n  patterns " << pats
                              << "\n  text '" << text << "'\n  got      " << render(got) << "\n  expected "
                              << render(expected) << "\n";
                }
            }
        }
    }
    CHECK_EQ(std::string(alphabet.id) + " failures " + std::to_string(failures),
             std::string(alphabet.id) + " failures 0");
}

}  // namespace

TEST(automaton_random_against_oracle) {
    const Alphabet alphabets[] = {
        {"ab", {"a", "b"}},
        {"abc", {"a", "b", "c"}},
        {"abcde", {"a", "b", "c", "d", "e"}},
        {"utf8", {"\u00e9", "\u00e8", "e", "\u0301", "\U0001F600"}},
    };
    std::uint32_t seed = 20240601;
    for (const Alphabet& a : alphabets) check_against_oracle(a, seed++, 3000);
}

TEST(automaton_large_set_goes_sparse) {
    // Enough distinct patterns over many letters to exceed the dense budget
    // (long enough that leftmost-first shadows few of them): the automatic
    // choice keeps sparse edges and still agrees with the oracle.
    std::mt19937 rng(7);
    std::vector<std::string> patterns;
    for (int i = 0; i < 20000; ++i) {
        std::string p;
        std::size_t len = 4 + rng() % 9;
        for (std::size_t k = 0; k < len; ++k) p += static_cast<char>('a' + rng() % 26);
        patterns.push_back(p);
    }
    for (MatchKind kind : {LL, LF}) {
        auto ac = AhoCorasick::build(patterns, kind);
        CHECK(ac.has_value());
        if (!ac) continue;
        CHECK(!ac->is_dense());
        for (int t = 0; t < 20; ++t) {
            // Pieces of patterns, cut short or whole, and stray letters.
            std::string text;
            while (text.size() < 300) {
                const std::string& p = patterns[rng() % patterns.size()];
                switch (rng() % 4) {
                    case 0: text += static_cast<char>('a' + rng() % 26); break;
                    case 1: text += p.substr(0, 1 + rng() % p.size()); break;
                    default: text += p; break;
                }
            }
            const auto expected = oracle_matches(patterns, kind, text);
            CHECK(expected.size() > 10);
            CHECK_EQ(render(all_matches(*ac, text)), render(expected));
        }
    }
    auto small = AhoCorasick::build(std::vector<std::string>{"cl", "rn", "vv"}, LL);
    CHECK(small && small->is_dense());
}
