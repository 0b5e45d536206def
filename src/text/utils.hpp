// Small text utilities shared across the module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kelrad::utils {

// Levenshtein distance counted in Unicode scalar values: insertion, deletion
// and substitution cost 1 each, no transposition; behind every did-you-mean
// suggestion. Bit-parallel: for texts of m <= n code points (after their
// common prefix and suffix), ceil(m / 64) * n word steps and O(m + n) memory.
std::uint64_t edit_distance(std::string_view a, std::string_view b);

// The same distance when it is at most `bound`, else std::nullopt. Costs
// nothing beyond a length comparison when the lengths differ by more than the
// bound, and otherwise only the diagonals a path within the bound can cross
// (about bound + 1 of them), leaving as soon as a whole row is out of reach;
// or edit_distance's work, where that is less. Any bound is allowed; beyond
// the longer length it changes nothing.
std::optional<std::uint64_t> edit_distance_within(std::string_view a, std::string_view b, std::uint64_t bound);

// About the work of edit_distance_within for texts of m and n code points,
// counted in cells of the dynamic-programming table; edit_distance costs that
// of an unlimited bound. Lets a caller judge whether a call is worth
// releasing the interpreter lock for.
std::uint64_t distance_cost(std::size_t m, std::size_t n, std::uint64_t bound) noexcept;

// The candidate to offer in place of a value that is none of them: compared
// lower-cased (the full lowercase mapping), the first candidate at the least
// edit distance other than zero, provided that distance is at most two and at
// most half the longer of the two texts in code points.
std::optional<std::string_view> closest_candidate(std::string_view value,
                                                  std::span<const std::string_view> candidates);

}  // namespace kelrad::utils
