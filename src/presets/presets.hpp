// The nine presets: fixed chains of steps that put a text into a canonical
// form or make a key of it.
//
// Every preset runs in one frame: it validates what it owns (the language,
// then the emoji style or the digit-policy string), asks the verification
// guard (guard.hpp) whether its chain could change the text at all (only
// under the Numeric digit policy; presets without a policy always ask), and
// only then runs its chain (steps.hpp), checking the growth limit after
// every step that changed the text. Under Tr39 and Preserve the chains of
// canonicalize, canonicalize_strict, strip_obfuscation, sort_key,
// search_key and catalog_key open with the whole confusable fold, and
// sort_key and search_key re-run their chain until it settles.
//
// Each preset comes in two forms: one that hands back the input untouched
// when the text is already in the preset's form (false, `out` untouched;
// true: `out` holds the result, which then differs from the text), and a
// plain one that returns the result as a new string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "presets/guard.hpp"
#include "presets/steps.hpp"
#include "text/error.hpp"

namespace kelrad::presets {

// Runs of the sort_key and search_key chains under Tr39 and Preserve.
inline constexpr std::size_t MAX_KEY_CHAIN_RUNS = 9;

enum class Preset : std::uint8_t {
    Canonicalize,
    CanonicalizeStrict,
    StripObfuscation,
    StripFormat,
    SkeletonKey,
    SortKey,
    SearchKey,
    CatalogKey,
    MlNormalize,
};

// The options of all presets; each reads the ones it has and ignores the
// rest (a preset without a digit policy runs under Numeric).
struct PresetOptions {
    DigitPolicy digit_policy = DigitPolicy::Numeric;
    std::optional<std::string_view> lang = {};  // sort_key, search_key, catalog_key, ml_normalize
    bool strict_iso9 = false;           // catalog_key
    std::string_view emoji_style = "cldr";  // ml_normalize: "cldr" or "none"
    bool fold_case = true;              // ml_normalize
};

// The preset a name of `_is_canonical` selects: the nine names and the
// aliases "security_clean", "normalize_user_input" and "display_clean".
std::optional<Preset> preset_named(std::string_view name) noexcept;

// The whole frame: validation, guard, chain.
std::expected<bool, CoreError> run_preset(Preset preset, std::string_view text, const PresetOptions& options,
                                          std::string& out);

// The chain alone, as if the guard had answered RunPreset (no validation):
// what the guard's answers are checked against.
std::expected<bool, CoreError> run_chain(Preset preset, std::string_view text, const PresetOptions& options,
                                         std::string& out);

// A preset's step list and the guard spec it asks with.
std::span<const PresetStep> chain_steps(Preset preset, bool fold_case = true) noexcept;
const guard::GuardSpec& guard_spec(Preset preset, bool fold_case = true) noexcept;

// Whether the text is already in the preset's form under its default
// options; a text that grows past the limit is an error, not an answer.
std::expected<bool, CoreError> is_canonical(std::string_view text, Preset preset);

// ---- The presets, input handed back when unchanged ----------------------

std::expected<bool, CoreError> canonicalize(std::string_view text, DigitPolicy digit_policy, std::string& out);
std::expected<bool, CoreError> canonicalize_strict(std::string_view text, DigitPolicy digit_policy,
                                                   std::string& out);
std::expected<bool, CoreError> strip_obfuscation(std::string_view text, DigitPolicy digit_policy, std::string& out);
bool strip_format(std::string_view text, std::string& out);
// Parses its digit policy itself ("numeric", "tr39", "preserve").
std::expected<bool, CoreError> skeleton_key(std::string_view text, std::string_view digit_policy, std::string& out);
std::expected<bool, CoreError> sort_key(std::string_view text, std::optional<std::string_view> lang,
                                        DigitPolicy digit_policy, std::string& out);
std::expected<bool, CoreError> search_key(std::string_view text, std::optional<std::string_view> lang,
                                          DigitPolicy digit_policy, std::string& out);
std::expected<bool, CoreError> catalog_key(std::string_view text, std::optional<std::string_view> lang,
                                           bool strict_iso9, DigitPolicy digit_policy, std::string& out);
std::expected<bool, CoreError> ml_normalize(std::string_view text, std::optional<std::string_view> lang,
                                            std::string_view emoji_style, bool fold_case, std::string& out);

// ---- Plain entries: the result as a new string ---------------------------

std::expected<std::string, CoreError> canonicalize(std::string_view text,
                                                   DigitPolicy digit_policy = DigitPolicy::Numeric);
std::expected<std::string, CoreError> canonicalize_strict(std::string_view text,
                                                          DigitPolicy digit_policy = DigitPolicy::Numeric);
std::expected<std::string, CoreError> strip_obfuscation(std::string_view text,
                                                        DigitPolicy digit_policy = DigitPolicy::Numeric);
std::string strip_format(std::string_view text);
std::expected<std::string, CoreError> skeleton_key(std::string_view text, std::string_view digit_policy = "numeric");
std::expected<std::string, CoreError> sort_key(std::string_view text, std::optional<std::string_view> lang = {},
                                               DigitPolicy digit_policy = DigitPolicy::Numeric);
std::expected<std::string, CoreError> search_key(std::string_view text, std::optional<std::string_view> lang = {},
                                                 DigitPolicy digit_policy = DigitPolicy::Numeric);
std::expected<std::string, CoreError> catalog_key(std::string_view text, std::optional<std::string_view> lang = {},
                                                  bool strict_iso9 = false,
                                                  DigitPolicy digit_policy = DigitPolicy::Numeric);
std::expected<std::string, CoreError> ml_normalize(std::string_view text, std::optional<std::string_view> lang = {},
                                                   std::string_view emoji_style = "cldr", bool fold_case = true);

}  // namespace kelrad::presets
