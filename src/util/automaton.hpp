// Multi-pattern search: an Aho-Corasick automaton with leftmost match
// semantics, behind the global replacements, the slug replacements and the
// host-name contraction rules.
//
// Matching is on exact bytes. Patterns given as whole UTF-8 strings and
// searched in UTF-8 text can only match on character boundaries, since a
// match starting inside a character would start with a continuation byte that
// no pattern starts with.
//
// Semantics. Matches never overlap and are found from left to right: a search
// reports the match that starts earliest, then resumes where that match ends.
// When several patterns match at that earliest position, `LeftmostLongest`
// takes the longest of them and `LeftmostFirst` the one listed first, even if
// a longer one matches there too. Identical patterns report the first listed.
// Empty patterns are refused: an empty match would need a rule for matching
// at every position, and no caller has a use for it.
//
// Representation. The trie's failure links are computed at build time with
// the leftmost cut: the failure link of a state that has seen a match does
// not fall back to threads that start after that match (they could only
// yield a later, losing match); it leads to a dead state that ends the
// search. Small pattern sets become a dense DFA over byte classes, one
// 32-bit transition per (state, class); sets whose table would exceed 4 MiB
// keep sparse sorted edges and follow failure links while searching
// (amortized two steps a byte), except that the states within two bytes of
// the start, where most steps land and which have many edges, keep full rows
// (up to 1 MiB of them). Before each fresh start the scan skips to the next
// byte that can begin a pattern (memchr for one such byte, a word-at-a-time
// scan for two or three, a 256-entry table otherwise), so text without
// candidates is passed over
// quickly. A search allocates nothing.
//
// Cost. A search runs once over the text up to the match, and past it only
// while a pattern that would win could still be under way. Iterating from
// each match end can therefore re-read up to (longest pattern - 1) bytes per
// match: with the patterns "a" and "a...ab" (L bytes) the text "aaaa..."
// costs about L steps per match, O(text * L) in all, the usual bound of
// leftmost multi-pattern search. The patterns come from the program, not
// from the text being cleaned.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "util/panic.hpp"

namespace kelrad::automaton {

enum class MatchKind : std::uint8_t {
    LeftmostLongest,
    LeftmostFirst,
};

// How the transitions are stored. `Auto` picks `Dense` while the table stays
// within its size budget; the other two exist so that tests can check both.
enum class Layout : std::uint8_t {
    Auto,
    Dense,
    Sparse,
};

// A match of pattern number `pattern` (its index in the build list) over the
// bytes [start, end) of the text.
struct Match {
    std::uint32_t pattern;
    std::size_t start;
    std::size_t end;

    friend bool operator==(const Match&, const Match&) = default;
};

class AhoCorasick;

// The non-overlapping matches of a text, from left to right.
class MatchIterator {
public:
    using value_type = Match;
    using difference_type = std::ptrdiff_t;

    MatchIterator() = default;
    MatchIterator(const AhoCorasick* automaton, std::string_view text, std::optional<Match> first)
        : automaton_(automaton), text_(text), current_(first) {}

    const Match& operator*() const noexcept { return *current_; }
    const Match* operator->() const noexcept { return &*current_; }
    MatchIterator& operator++() noexcept;
    void operator++(int) noexcept { ++*this; }
    friend bool operator==(const MatchIterator& it, std::default_sentinel_t) noexcept { return !it.current_; }

private:
    const AhoCorasick* automaton_ = nullptr;
    std::string_view text_;
    std::optional<Match> current_;
};

class AhoCorasick {
public:
    // Builds the automaton over `patterns`; pattern number i is patterns[i].
    // Returns nothing when a pattern is empty or the set exceeds the
    // automaton's size limits (about four billion pattern bytes in all).
    static std::optional<AhoCorasick> build(std::span<const std::string_view> patterns, MatchKind kind,
                                            Layout layout = Layout::Auto);

    template <std::ranges::input_range R>
        requires std::convertible_to<std::ranges::range_reference_t<R>, std::string_view>
    static std::optional<AhoCorasick> build(const R& patterns, MatchKind kind, Layout layout = Layout::Auto) {
        std::vector<std::string_view> views;
        for (auto&& p : patterns) views.emplace_back(std::string_view(p));
        return build(std::span<const std::string_view>(views), kind, layout);
    }

    // The first match that starts at or after `start` (an automaton started
    // fresh there: bytes before `start` are not seen).
    std::optional<Match> find(std::string_view text, std::size_t start = 0) const noexcept;

    // Every non-overlapping match, for a range-for.
    std::ranges::subrange<MatchIterator, std::default_sentinel_t> find_all(std::string_view text) const noexcept {
        return {MatchIterator(this, text, find(text, 0)), std::default_sentinel};
    }

    // Writes `text` into `out` with each match replaced by values[pattern];
    // the values are not searched again. Returns false and leaves `out`
    // untouched when nothing matched. `out` must not hold `text`.
    template <std::ranges::random_access_range V>
        requires std::convertible_to<std::ranges::range_reference_t<const V&>, std::string_view>
    bool replace_all(std::string_view text, const V& values, std::string& out) const {
        KELRAD_ASSERT(std::ranges::size(values) == pattern_count(), "one replacement value per pattern");
        std::optional<Match> m = find(text, 0);
        if (!m) return false;
        out.clear();
        out.reserve(text.size());
        std::size_t last = 0;
        do {
            out.append(text.substr(last, m->start - last));
            out.append(std::string_view(std::ranges::begin(values)[m->pattern]));
            last = m->end;
            m = find(text, last);
        } while (m);
        out.append(text.substr(last));
        return true;
    }

    std::uint32_t pattern_count() const noexcept { return static_cast<std::uint32_t>(pattern_len_.size()); }
    MatchKind match_kind() const noexcept { return kind_; }
    bool is_dense() const noexcept { return dense_; }

private:
    enum class SkipKind : std::uint8_t { OneByte, FewBytes, Table };

    AhoCorasick() = default;

    template <class Step>
    std::optional<Match> scan(const unsigned char* p, std::size_t n, std::size_t pos, Step step) const noexcept;
    std::size_t skip_to_candidate(const unsigned char* p, std::size_t n, std::size_t pos) const noexcept;
    std::uint32_t sparse_next(std::uint32_t state, unsigned char byte) const noexcept;

    MatchKind kind_ = MatchKind::LeftmostLongest;
    bool dense_ = false;

    // Pattern lengths by pattern number.
    std::vector<std::uint32_t> pattern_len_;

    // States are numbered dead, start, the states without a match, then the
    // states with one, so that "is a match" is one comparison. In the dense
    // layout a state id is its row offset (state number times the class count).
    std::uint32_t dead_ = 0;
    std::uint32_t start_ = 0;
    std::uint32_t first_match_ = 0;
    std::uint32_t id_scale_ = 1;
    // The pattern reported by each match state, in state order from
    // `first_match_`.
    std::vector<std::uint32_t> match_pattern_;

    // Full rows over byte classes, one 32-bit target per class. In the dense
    // layout every state has one, at its id; in the sparse layout only the
    // shallow states have one (where `SparseState::full_row` points), and
    // targets are plain state numbers.
    std::array<std::uint8_t, 256> byte_class_{};
    std::vector<std::uint32_t> full_rows_;

    // Sparse layout: per state its edges (sorted by byte, in `edge_byte_` and
    // `edge_target_`) and failure link, or a full row.
    struct SparseState {
        std::uint32_t fail;
        std::uint32_t first_edge;
        std::uint32_t end_edge;
        std::uint32_t full_row;
    };
    std::vector<SparseState> sparse_states_;
    std::vector<std::uint8_t> edge_byte_;
    std::vector<std::uint32_t> edge_target_;

    // The bytes that can begin a pattern.
    SkipKind skip_kind_ = SkipKind::Table;
    std::array<unsigned char, 3> skip_bytes_{};
    std::uint8_t skip_byte_count_ = 0;
    std::array<bool, 256> starts_pattern_{};
};

inline MatchIterator& MatchIterator::operator++() noexcept {
    current_ = automaton_->find(text_, current_->end);
    return *this;
}

}  // namespace kelrad::automaton
