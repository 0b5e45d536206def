// Global pre-transliteration replacements.
//
// A process-wide table of literal substitutions (GLOBAL_REPLACEMENTS) that the
// forward transliteration applies to the whole text before the engine runs,
// with a leftmost-longest multi-pattern automaton over its keys
// (GLOBAL_REPLACEMENTS_AC) rebuilt after every change, so applying the table is
// one scan whatever the number of keys. Values are never scanned again.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "text/error.hpp"

namespace kelrad {

namespace tables {

inline constexpr std::uint64_t MAX_REPLACEMENTS = 10'000;
inline constexpr std::uint64_t MAX_REPLACEMENT_OUTPUT = 10'485'760;

// The text with every leftmost-longest key match replaced by its value, or
// nullopt when nothing is registered or nothing matched (the caller keeps its
// input). Costs one atomic load while the table is empty.
std::expected<std::optional<std::string>, CoreError> apply_replacements(std::string_view text);

}  // namespace tables

namespace transliterate {

// Adds or updates entries; refused whole when the table would exceed
// MAX_REPLACEMENTS entries.
std::expected<void, CoreError> register_replacements(std::span<const std::pair<std::string, std::string>> entries);

// Whether the key was present.
std::expected<bool, CoreError> remove_replacement(std::string_view key);

std::expected<void, CoreError> clear_replacements();

}  // namespace transliterate
}  // namespace kelrad
