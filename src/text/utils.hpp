// Small text utilities shared across the module.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kelrad::utils {

// Levenshtein distance counted in Unicode scalar values: insertion, deletion
// and substitution cost 1 each, no transposition. Two rows of len(b) + 1
// counters; behind every did-you-mean suggestion.
std::uint64_t edit_distance(std::string_view a, std::string_view b);

// The same distance when it is at most `bound`, else std::nullopt. Costs
// nothing beyond a length comparison when the lengths differ by more than the
// bound, and otherwise only the diagonals a path within the bound can cross
// (about bound + 1 of them), leaving as soon as a whole row is out of reach.
// Any bound is allowed; beyond the longer length it changes nothing.
std::optional<std::uint64_t> edit_distance_within(std::string_view a, std::string_view b, std::uint64_t bound);

// The candidate to offer in place of a value that is none of them: compared
// lower-cased (the full lowercase mapping), the first candidate at the least
// edit distance other than zero, provided that distance is at most two and at
// most half the longer of the two texts in code points.
std::optional<std::string_view> closest_candidate(std::string_view value,
                                                  std::span<const std::string_view> candidates);

}  // namespace kelrad::utils
