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

namespace {

constexpr MatchKind LL = MatchKind::LeftmostLongest;
constexpr MatchKind LF = MatchKind::LeftmostFirst;
constexpr Layout kLayouts[] = {Layout::Dense, Layout::Sparse};

std::string render(const std::vector<Match>& ms) {
    std::string s;
    for (const Match& m : ms) s += "{" + std::to_string(m.pattern) + "," + std::to_string(m.start) + "," +
                                   std::to_string(m.end) + "}";
    return s;
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
    for (std::size_t s = 0; s < text.size();) {
        std::optional<std::size_t> best;
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            if (!text.substr(s).starts_with(patterns[i])) continue;
            if (!best || (kind == LL && patterns[i].size() > patterns[*best].size())) best = i;
        }
        if (!best) {
            ++s;
            continue;
        }
        out.push_back({static_cast<std::uint32_t>(*best), s, s + patterns[*best].size()});
        s = out.back().end;
    }
    return out;
}

// Values "<0>", "<1>", ...: the replaced text shows which pattern matched where.
std::vector<std::string> tag_values(std::size_t n) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < n; ++i) values.push_back("<" + std::to_string(i) + ">");
    return values;
}

std::string oracle_replace(std::string_view text, const std::vector<Match>& ms) {
    std::string out;
    std::size_t last = 0;
    for (const Match& m : ms) {
        out.append(text.substr(last, m.start - last)).append("<" + std::to_string(m.pattern) + ">");
        last = m.end;
    }
    return out.append(text.substr(last));
}

}  // namespace

// Anchors for the oracle; the random comparison below (which also restarts the
// search at every match end) does the rest.
TEST(automaton_hand_cases) {
    const struct {
        const char* id;
        std::vector<std::string> patterns;
        MatchKind kind;
        std::string text;
        const char* replaced;  // nullptr: nothing matches
    } cases[] = {
        {"longest_takes_abc", {"ab", "abc"}, LL, "abcd", "<1>d"},
        {"first_skips_shadowed_pattern", {"abcd", "ab", "abc"}, LF, "abcx abcd", "<1>cx <0>"},
        // After "bc" is seen inside "abc", the later-starting "cd" must not
        // replace it when "abcde" fails.
        {"held_match_not_replaced_by_later_start", {"abcde", "bc", "cd"}, LL, "abcdz", "a<1>dz"},
        {"own_match_cuts_later_threads", {"ab", "abcx", "bc"}, LL, "abcy", "<0>cy"},
        {"nested_suffixes", {"abcd", "bcd", "cd", "d"}, LL, "abcabcdbcdcdd", "abc<0><1><2><3>"},
        // U+00E9 is C3 A9, U+00E8 is C3 A8: a shared lead byte.
        {"utf8_shared_lead_byte", {"\u00e9", "\u00e8t\u00e9"}, LL, "\u00e8t\u00e9 \u00e9t\u00e9 \u00e8",
         "<1> <0>t<0> \u00e8"},
        {"no_patterns", {}, LL, "abc", nullptr},
    };
    for (const auto& c : cases) {
        for (Layout layout : kLayouts) {
            auto ac = AhoCorasick::build(c.patterns, c.kind, layout);
            CHECK(ac.has_value());
            if (!ac) continue;
            std::string out = "untouched";
            bool changed = ac->replace_all(c.text, tag_values(c.patterns.size()), out);
            const std::string label = std::string(c.id) + (layout == Layout::Dense ? " dense: " : " sparse: ");
            CHECK_EQ(label + (changed ? out : "no match " + out),
                     label + (c.replaced ? c.replaced : "no match untouched"));
            CHECK_EQ(label + render(all_matches(*ac, c.text)),
                     label + render(oracle_matches(c.patterns, c.kind, c.text)));
        }
    }
}

TEST(automaton_replace_all_values_and_refusals) {
    auto ac = AhoCorasick::build(std::vector<std::string>{"a", "xy"}, LL);
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
        ac->replace_all("a", std::vector<std::string>{"x"}, out);  // one value short
    } catch (const Panic&) {
        refused = true;
    }
    CHECK(refused);
    CHECK(!ac->find("xy", 99));  // a start beyond the text finds nothing
    for (MatchKind kind : {LL, LF}) {
        CHECK(!AhoCorasick::build(std::vector<std::string>{"a", ""}, kind));
        CHECK(!AhoCorasick::build(std::vector<std::string>{""}, kind));
    }
}

// Fixed-seed comparison of every layout and kind against the oracle. Texts
// also draw on filler letters no pattern uses, in runs long enough for the
// word-at-a-time skip; the alphabets give patterns one, a few, or many
// possible first bytes, and multi-byte characters sharing lead bytes.
TEST(automaton_random_against_oracle) {
    const std::vector<std::vector<std::string>> alphabets = {
        {"a", "b"}, {"a", "b", "c"}, {"a", "b", "c", "d", "e"}, {"\u00e9", "\u00e8", "e", "\u0301", "\U0001F600"}};
    const std::vector<std::string> filler = {"x", "yz", " "};
    std::mt19937 rng(20240601);
    auto below = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    int failures = 0;
    for (const auto& letters : alphabets) {
        for (int iter = 0; iter < 3000 && failures < 5; ++iter) {
            std::vector<std::string> patterns(1 + below(20));
            for (auto& p : patterns) {
                for (std::size_t k = 1 + below(5); k > 0; --k) p += letters[below(letters.size())];
            }
            std::string text;
            std::size_t filler_weight = below(4);  // 0: none, up to mostly filler
            for (std::size_t k = below(8) == 0 ? below(200) : below(61); k > 0; --k) {
                text += below(4) < filler_weight ? filler[below(filler.size())] : letters[below(letters.size())];
            }
            for (MatchKind kind : {LL, LF}) {
                const auto expected = oracle_matches(patterns, kind, text);
                for (Layout layout : kLayouts) {
                    auto ac = AhoCorasick::build(patterns, kind, layout);
                    std::string out = "untouched";
                    bool ok = ac && all_matches(*ac, text) == expected &&
                              ac->replace_all(text, tag_values(patterns.size()), out) == !expected.empty() &&
                              out == (expected.empty() ? "untouched" : oracle_replace(text, expected));
                    if (!ok && ++failures <= 5) {
                        std::cerr << (kind == LL ? "LL " : "LF ") << (layout == Layout::Dense ? "dense" : "sparse")
                                  << " '" << text << "' patterns";
                        for (const auto& p : patterns) std::cerr << " '" << p << "'";
                        std::cerr << "\n  expected " << render(expected) << "\n";
                    }
                }
            }
        }
    }
    CHECK_EQ(failures, 0);
}

TEST(automaton_large_set_goes_sparse) {
    // Enough distinct patterns over many letters to exceed the dense budget
    // (long enough that leftmost-first shadows few of them): the automatic
    // choice keeps sparse edges and still agrees with the oracle.
    std::mt19937 rng(7);
    std::vector<std::string> patterns;
    for (int i = 0; i < 20000; ++i) {
        std::string p;
        for (std::size_t k = 4 + rng() % 9; k > 0; --k) p += static_cast<char>('a' + rng() % 26);
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
