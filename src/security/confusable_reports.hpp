// Confusable reports: where a text holds characters that a target map folds,
// which TR39 sources the maps leave unfolded (in all or in a text), and how
// well each script's sources are covered. Offsets are byte offsets into the
// caller's UTF-8 text; a reported character is the one of the text that
// starts there (for a composed character, the first of its sequence).
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/confusables.hpp"
#include "text/error.hpp"

namespace kelrad::confusables {

struct ConfusableFinding {
    char32_t ch;
    std::uint64_t offset;
    std::string_view prototype;  // the map's prototype of the composed character
};

struct UnmappedFinding {
    char32_t ch;
    std::uint64_t offset;
};

// The canonical entry of tables::SCRIPT_NAMES for each name, matched with
// ASCII letters compared caselessly ("cyrillic" gives "Cyrillic"); the first
// name without a match is `UnknownScript`, naming it as passed.
std::expected<std::vector<std::string_view>, CoreError> resolve_allowed_scripts(std::span<const std::string> names);

// The composed characters outside U+0021..U+007E that the target's map
// folds, in order. With allowed scripts, a character whose script (
// scripts::effective_script) is one of them is left out, unless it is
// "Common" or "Inherited". The target is checked before the names.
std::expected<std::vector<ConfusableFinding>, CoreError> find_confusables(
    std::string_view text, std::string_view target_script, std::span<const std::string> allowed_scripts);

// The coverage row of a script: a row of tables::CONFUSABLE_COVERAGE, or
// zeros for another name of tables::SCRIPT_NAMES, matched exactly; anything
// else is `UnknownScript`.
std::expected<tables::ConfusableCoverage, CoreError> confusable_coverage(std::string_view script);

// The TR39 sources that the target's map does not fold, ascending.
std::expected<std::vector<char32_t>, CoreError> unmapped_confusables(std::string_view target_script);

// The composed characters of the text that are TR39 sources and that the
// target's map does not fold, ASCII included, in order.
std::expected<std::vector<UnmappedFinding>, CoreError> find_unmapped_confusables(std::string_view text,
                                                                                 std::string_view target_script);

}  // namespace kelrad::confusables
