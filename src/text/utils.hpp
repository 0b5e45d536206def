// Small text utilities shared across the module.
#pragma once

#include <cstdint>
#include <optional>
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

}  // namespace kelrad::utils
