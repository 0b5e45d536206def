#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "testing.hpp"
#include "text/utils.hpp"
#include "util/utf8.hpp"

using namespace kelrad;

namespace {

std::u32string code_points(std::string_view text) {
    std::u32string cps;
    for (auto [cp, len] : utf8::chars(text)) cps.push_back(cp);
    return cps;
}

// The distance cell by cell, two rows at a time.
std::uint64_t reference_distance(std::string_view a_text, std::string_view b_text) {
    const std::u32string a = code_points(a_text), b = code_points(b_text);
    std::vector<std::uint64_t> prev(b.size() + 1), cur(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            cur[j] = std::min({prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1), cur[j - 1] + 1, prev[j] + 1});
        }
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

struct Alphabet {
    const char* name;
    std::u32string chars;
};

// Few letters make many matches, hence long runs of carries through the
// masks; many make the texts differ almost everywhere.
const Alphabet kAlphabets[] = {
    {"ascii, 3 letters", U"abc"},
    {"ascii, 40 letters", U"abcdefghijklmnopqrstuvwxyz0123456789 .,-"},
    {"latin and cyrillic", U"ae\u00e9\u0301\u0430\u0435\u0451"},
    {"mixed scripts", U"a\u00e9\u0416\u05d0\u0915\u65e5\uac00\U0001F600"},
    {"astral", U"\U0001F600\U0001F601\U00020000\U0010FFFD"},
    {"ascii and one astral", U"ab\U0001F600"},
};

std::string random_text(std::mt19937& rng, const std::u32string& chars, std::size_t length) {
    std::string s;
    for (std::size_t i = 0; i < length; ++i) utf8::append(s, chars[rng() % chars.size()]);
    return s;
}

// `text` with about one character in `every` inserted, deleted or replaced.
std::string edited(std::mt19937& rng, std::string_view text, const std::u32string& chars, std::size_t every) {
    std::u32string cps = code_points(text);
    for (std::size_t edits = cps.size() / every + 1; edits > 0; --edits) {
        testing::random_edit(rng, cps, chars[rng() % chars.size()]);
    }
    return testing::u8(cps);
}

void check_pair(std::string_view a, std::string_view b, const std::string& which) {
    const std::uint64_t expected = reference_distance(a, b);
    CHECK_EQ_FOR(which, utils::edit_distance(a, b), expected);
    CHECK_EQ_FOR(which + ", swapped", utils::edit_distance(b, a), expected);
}

}  // namespace

// The shorter text, whose characters fill the 64-bit masks, at and around
// the sizes where a block or a strip of blocks ends. Different first and
// last characters keep the common affixes, which never reach the masks,
// out of the way.
TEST(edit_distance_at_word_boundaries) {
    std::mt19937 rng(11);
    const std::size_t lengths[] = {1, 2, 63, 64, 65, 127, 128, 129, 191, 192, 193, 255, 256, 257, 320};
    for (const Alphabet& alphabet : kAlphabets) {
        for (std::size_t m : lengths) {
            for (std::size_t n : {m, m + 1, m + 63, 2 * m + 5}) {
                std::string a = "<" + random_text(rng, alphabet.chars, m - 1);
                std::string b = ">" + random_text(rng, alphabet.chars, n - 1);
                std::string which = std::string(alphabet.name) + ", " + std::to_string(m) + " x " + std::to_string(n);
                check_pair(a, b, which);
                check_pair(a, edited(rng, a, alphabet.chars, 8) + "|", which + ", edited");
            }
        }
    }
}

TEST(edit_distance_random_pairs) {
    std::mt19937 rng(12);
    for (int round = 0; round < 3000; ++round) {
        const Alphabet& alphabet = kAlphabets[rng() % std::size(kAlphabets)];
        const std::size_t length = rng() % (round % 10 == 0 ? 700 : 140);
        std::string a = random_text(rng, alphabet.chars, length);
        std::string b = rng() % 2 ? edited(rng, a, alphabet.chars, 1 + rng() % 20)
                                  : random_text(rng, alphabet.chars, rng() % (length + 70));
        check_pair(a, b, std::string(alphabet.name) + ", round " + std::to_string(round));
    }
}

// More distinct characters than the in-place symbol table holds, and text
// characters the pattern lacks.
TEST(edit_distance_wide_alphabets) {
    std::u32string pattern, text;
    for (char32_t c = 0x4E00; c < 0x4E00 + 300; ++c) pattern.push_back(c);
    for (char32_t c = 0x4E00 + 150; c < 0x4E00 + 600; c += 2) text.push_back(c);
    check_pair(testing::u8(pattern), testing::u8(text), "300 distinct against 225");
    std::u32string reversed(pattern.rbegin(), pattern.rend());
    check_pair(testing::u8(pattern), testing::u8(reversed), "300 distinct, reversed");
    CHECK_EQ(utils::edit_distance(testing::u8(pattern), std::string(300, 'a')), 300u);
}
