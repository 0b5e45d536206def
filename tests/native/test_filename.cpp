#include <random>

#include "presets/filename.hpp"
#include "testing.hpp"
#include "util/utf8.hpp"

using namespace kelrad;

namespace {

std::string collapsed(std::string_view text) {
    std::string out = "untouched";
    return filename::collapse_dot_runs(text, out) ? out : out + ": " + std::string(text);
}

}  // namespace

// The word-at-a-time search for ".." against a byte loop, on texts where a
// dot sits next to "/" (0x2F differs from "." in the lowest bit only) and
// runs straddle word boundaries.
TEST(filename_collapse_dot_runs_matches_a_byte_loop) {
    std::mt19937 rng(12);
    const char* pool[] = {".", ".", "a", "/", "-", "\u00e9"};
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (std::size_t n = rng() % 40; n > 0; --n) text += pool[rng() % std::size(pool)];
        std::string expected;
        bool any_run = false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '.' && !expected.empty() && expected.back() == '.' && i > 0 && text[i - 1] == '.') {
                any_run = true;
                continue;
            }
            expected += text[i];
        }
        CHECK_EQ(collapsed(text), any_run ? expected : "untouched: " + text);
    }
}

TEST(filename_truncate_at_char_boundary) {
    struct Case {
        std::string name;
        std::optional<std::string_view> extension;
        std::uint64_t max_length;
        std::string expected;
    };
    const Case cases[] = {
        {"abcdefghij.txt", ".txt", 8, "abcd.txt"},
        {"abcdefghij.txt", ".txt", 4, "abcd"},  // no room for more than the extension: a plain cut
        {"abcdefghij.txt", ".txt", 0, "abcdefghij.txt"},
        {"abcdefghij.txt", ".txt", 14, "abcdefghij.txt"},
        {"abc.defgh", ".defgh", 5, "abc.d"},
        {"ab\u00e9\u00e9.txt", ".txt", 8, "ab\u00e9.txt"},
        {"ab\u00e9\u00e9.txt", ".txt", 7, "ab.txt"},  // the first é straddles the cut
        {"ab\u00e9\u00e9", std::nullopt, 4, "ab\u00e9"},
        {"\U0001F600\U0001F600", std::nullopt, 7, "\U0001F600"},
        {"\U0001F600.txt", ".txt", 6, ".txt"},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        filename::truncate_at_char_boundary(name, c.extension, c.max_length);
        CHECK_EQ(name, c.expected);
    }
}
