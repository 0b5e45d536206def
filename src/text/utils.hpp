// Small text utilities shared across the module.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelrad::utils {

// Levenshtein distance counted in Unicode scalar values: insertion, deletion
// and substitution cost 1 each, no transposition. Two rows of len(b) + 1
// counters; behind every did-you-mean suggestion.
std::uint64_t edit_distance(std::string_view a, std::string_view b);

}  // namespace kelrad::utils
