// Confusable (homoglyph) folding and tests, after UTS #39.
//
// A fold replaces each character that a target map knows (tables/
// confusables.hpp) by its prototype, a look-alike in the target script or in
// common characters: Cyrillic "а" becomes Latin "a", "ﬁ" becomes "fi". The
// maps are keyed by precomposed characters, so the folds and tests compose
// beyond NFC first (text/compose.hpp) whenever a text holds a character that
// can join a composition; other text is its own composed form and is read as
// written.
//
// The target script and the digit policy arrive as the strings callers pass
// and are checked before any text is read, target first. All functions are
// pure over constant tables and safe from any thread.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "tables/confusables.hpp"
#include "text/error.hpp"

namespace kelrad::confusables {

enum class TargetScript : std::uint8_t { Latin, Cyrillic, Arabic, Hebrew };

// "latin", "cyrillic", "arabic" or "hebrew", exactly; anything else is
// `InvalidTargetScript`.
std::expected<TargetScript, CoreError> validate_target_script(std::string_view name);

// The map of a target; its BMP pre-filter rides along.
const tables::ConfusableMap& target_map(TargetScript target) noexcept;

// How a fold treats digits.
enum class DigitPolicy : std::uint8_t {
    Numeric = 0,   // every map entry applies: styled and foreign digits become ASCII digits
    Tr39 = 1,      // with target "latin" only: a digit's TR39 letter or punctuation
                   // prototype (DIGIT_PROTOTYPES) wins over the map; else as Numeric
    Preserve = 2,  // an entry whose prototype is one ASCII digit is not applied
};

// "numeric", "tr39" or "preserve", exactly; anything else is `InvalidDigitPolicy`.
std::expected<DigitPolicy, CoreError> parse_digit_policy(std::string_view value);

// Empties `out` and writes `text` with every character replaced by its fold,
// one character at a time, without composing.
std::expected<void, CoreError> fold_chars(std::string_view text, std::string_view target_script,
                                          DigitPolicy digit_policy, std::string& out);

// One pass of the fold over the composed text. Returns false and leaves `out`
// untouched when the text needs no composing and no character folds;
// otherwise empties `out`, writes the folded text and returns true (a text
// that needed composing comes back composed, even when nothing folded).
std::expected<bool, CoreError> fold_pass(std::string_view text, std::string_view target_script,
                                         std::string_view digit_policy, std::string& out);

// The full fold: passes until one changes nothing (at most 9), then, if the
// text still changes, the fixed-point engine (security/fixed_point.hpp).
// Returns false and leaves `out` untouched when the first pass changes
// nothing; otherwise writes the result into `out` and returns true.
std::expected<bool, CoreError> normalize_confusables(std::string_view text, std::string_view target_script,
                                                     std::string_view digit_policy, std::string& out);

// The fold of an owned text straight through the fixed-point engine, each
// rewrite being `fold_chars` followed by normalization to `form` ("NFC",
// ...). A bad target or form surfaces as the first rewrite's error.
std::expected<std::string, CoreError> normalize_confusables_owned(std::string text, std::string_view target_script,
                                                                  DigitPolicy digit_policy, std::string_view form);

// True when the composed text holds a character outside U+0021..U+007E that
// the target's map folds. No digit policy applies.
std::expected<bool, CoreError> is_confusable(std::string_view text, std::string_view target_script);

// The skeleton's ASCII prototype classes: under Tr39 "0" becomes "O" and "1"
// and "I" become "l"; under the other policies only "I" becomes "l". Returns
// false and leaves `out` untouched when the text holds none of them;
// otherwise empties `out`, writes the mapped text and returns true.
bool fold_ascii_digit_lookalikes(std::string_view text, DigitPolicy digit_policy, std::string& out);

// The Latin prototype of c when it is pure ASCII (U+FB01 gives "fi", U+007C
// "l"); nullopt when c is no key or its prototype is not ASCII.
std::optional<std::string_view> latin_ascii_prototype(char32_t c) noexcept;

}  // namespace kelrad::confusables
