// Reverse transliteration: Latin text into Greek, Russian or Ukrainian script.
//
// A greedy longest-match rewrite over one small constant map per language;
// whatever no key covers is copied unchanged.
#pragma once

#include <array>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "text/error.hpp"

namespace kelrad::reverse {

// The supported target languages, in this order: "el", "ru", "uk".
const std::array<std::string_view, 3>& reverse_langs() noexcept;

// The value of `key` (one to four ASCII letters, case-sensitive) in the map of
// `lang`; none for a missing key or any other language.
std::optional<std::string_view> reverse_lookup(std::string_view key, std::string_view lang) noexcept;

// At each position the longest key (up to four bytes) wins. A window of two or
// more capitals that is no key is looked up in small letters and its value
// upper-cased ("SHCH" -> "Щ"). In Greek a sigma written for "s" takes its
// final form where the output's Final_Sigma condition holds ("Christos" ->
// "Χρηστος"). `ReverseUnsupportedLang` for a language other
// than the three (case-sensitive).
std::expected<std::string, CoreError> reverse_transliterate(std::string_view text, std::string_view lang);

}  // namespace kelrad::reverse
