// The `regex_pattern` of slugs: compiled once per process, on RE2, and shared.
//
// A pattern is checked and rewritten before RE2 sees it, so that it means
// what a Unicode-aware engine would make of it:
//   - `\w \W \d \D \s \S` become classes of Unicode ranges (UTS #18, Annex C;
//     tables/regex_classes.hpp) inside and outside brackets, where RE2 would
//     read ASCII classes. `\b` and `\B` stay ASCII word boundaries: RE2 has
//     no other.
//   - what RE2 would read differently without a word is refused: a `[` that
//     opens a nested class inside brackets (other than `[:name:]`), the class
//     set operators `&&`, `--` and `~~`, a class range with a class escape at
//     either end (`[!-\d]`, `[\pL-z]`), and `\C`, which matches a single
//     byte and could cut a character in two;
//   - look-around and backreferences, which RE2 cannot run, are refused
//     naming the feature, and so is nesting deeper than 250 groups and
//     classes.
//
// `REGEX_CACHE` maps pattern texts to compiled programs. It holds at most 32;
// inserting a 33rd distinct pattern empties it first. A program handed out
// stays valid after the cache drops it (shared ownership), and RE2 programs
// are safe to run from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/error.hpp"

namespace re2 {
class RE2;
}

namespace kelrad::slugify {

inline constexpr std::size_t MAX_REGEX_PATTERN_LEN = 512;        // UTF-8 bytes of the caller's pattern
inline constexpr std::uint64_t REGEX_SIZE_LIMIT = 1024 * 1024;   // RE2's max_mem: program and DFA cache
inline constexpr std::size_t REGEX_CACHE_CAPACITY = 32;
inline constexpr std::size_t MAX_REGEX_NESTING = 250;

// A compiled slug pattern, shared with the cache.
class SlugRegex {
public:
    explicit SlugRegex(std::shared_ptr<const re2::RE2> program) noexcept : program_(std::move(program)) {}

    // Writes `text` without its non-overlapping matches, found from left to
    // right, into `out`. False, `out` untouched, when nothing non-empty matched.
    bool delete_matches(std::string_view text, std::string& out) const;

    // Whether both hold the same compiled program.
    bool same_program(const SlugRegex& other) const noexcept { return program_ == other.program_; }

private:
    std::shared_ptr<const re2::RE2> program_;
};

// No pattern: no regex, and the cache is not touched. A pattern: the cached
// program, or a new one (`RegexTooLong` over 512 bytes, `RegexCompile` when
// the check, the rewrite or RE2 refuses it; a refused pattern is not stored).
std::expected<std::optional<SlugRegex>, CoreError> resolve_regex(std::optional<std::string_view> pattern);

// The pattern as RE2 is given it. Outside its stretches the text is the
// caller's, byte for byte; each stretch says which of the caller's bytes its
// text stands for, so that RE2's errors can quote the caller.
struct RewrittenPattern {
    struct Stretch {
        std::size_t out_first, out_last;  // in `text`
        std::size_t in_first, in_last;    // in the caller's pattern
    };
    std::string text;
    std::vector<Stretch> stretches;  // in order, not overlapping
};

// The rewritten pattern, or the refusal's text.
std::expected<RewrittenPattern, std::string> rewrite_pattern(std::string_view pattern);

// How many patterns REGEX_CACHE holds now.
std::size_t regex_cache_len();

}  // namespace kelrad::slugify
