// The step language of the presets and its executor.
//
// A preset is a constant list of steps, each one call into normalization,
// the strip family, case folding, deletions, zalgo, emoji naming,
// transliteration, accent stripping or confusable folding, or one of the
// composite steps defined here. `run_steps` applies a list to a text with
// two buffers, swapping them after each step that changed the text and then
// checking the growth limit against the length of the preset's input, so a
// step that blows the text up stops the preset before the next step runs.
//
// `FixedPoint` re-runs an inner list until the text settles, at most
// MAX_FIXED_POINT_PASSES times; an inner list made only of per-character
// rewrites (NFKC, NFC, case folding, the character-wise confusable fold) that
// still changes then goes on in the segment-wise engine of
// security/fixed_point.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "security/confusables.hpp"
#include "text/error.hpp"
#include "text/warning.hpp"

namespace kelrad::presets {

using confusables::DigitPolicy;

// At most this many bytes more than the preset's input (10 MiB).
inline constexpr std::size_t MAX_PRESET_GROWTH = 10'485'760;
// Runs of a FixedPoint's inner list, and passes of the confusable-NFC fold.
inline constexpr std::size_t MAX_FIXED_POINT_PASSES = 8;

struct PresetStep {
    // The numbers are fixed: the guard derivation and the fold-engine fallback
    // of FixedPoint dispatch on them.
    enum class Kind : std::uint8_t {
        ResolveDeletions = 0,
        Nfkc = 1,
        Nfc = 2,
        NfcUnlessAscii = 3,
        StripBidi = 4,
        StripFormatChars = 5,
        StripControl = 6,
        StripZeroWidth = 7,
        CollapseWhitespace = 8,
        StripZalgo = 9,
        StripZalgoIfZalgo = 10,
        CollapseRepeatedMarks = 11,
        FoldCase = 12,
        StripAccents = 13,
        Transliterate = 14,
        TransliterateNonLatinRuns = 15,
        FoldConfusableChars = 16,
        NormalizeConfusables = 17,
        ConfusablesNfcFixedPoint = 18,
        ConfusablesNfcFixedPointScripts = 19,
        FoldAsciiDigitLookalikes = 20,
        FixedPoint = 21,
        Demojize = 22,
    };

    Kind kind;
    // StripFormatChars: strip_private_use, keep_emoji_vs. Transliterate:
    // only_with_lang. Demojize: only_if_cldr, keep_text_symbols.
    bool flag_a = false;
    bool flag_b = false;
    ErrorMode errors = ErrorMode::Preserve;  // Transliterate
    std::uint8_t max_marks = 0;              // StripZalgo, StripZalgoIfZalgo
    std::string_view target = {};            // the confusable steps
    const PresetStep* inner = nullptr;       // FixedPoint
    std::size_t inner_len = 0;

    constexpr std::span<const PresetStep> inner_steps() const noexcept { return {inner, inner_len}; }

    // Plain steps, by kind.
    static constexpr PresetStep of(Kind k) noexcept { return {.kind = k}; }
    static constexpr PresetStep strip_format_chars(bool strip_private_use, bool keep_emoji_vs) noexcept {
        return {.kind = Kind::StripFormatChars, .flag_a = strip_private_use, .flag_b = keep_emoji_vs};
    }
    static constexpr PresetStep strip_zalgo(std::uint8_t max_marks) noexcept {
        return {.kind = Kind::StripZalgo, .max_marks = max_marks};
    }
    static constexpr PresetStep strip_zalgo_if_zalgo(std::uint8_t max_marks) noexcept {
        return {.kind = Kind::StripZalgoIfZalgo, .max_marks = max_marks};
    }
    static constexpr PresetStep transliterate(ErrorMode errors, bool only_with_lang) noexcept {
        return {.kind = Kind::Transliterate, .flag_a = only_with_lang, .errors = errors};
    }
    // FoldConfusableChars, NormalizeConfusables and the two NFC fixed points.
    static constexpr PresetStep confusable(Kind k, std::string_view target) noexcept {
        return {.kind = k, .target = target};
    }
    template <std::size_t N>
    static constexpr PresetStep fixed_point(const PresetStep (&inner)[N]) noexcept {
        return {.kind = Kind::FixedPoint, .inner = inner, .inner_len = N};
    }
    // Emoji become their CLDR short names; with only_if_cldr only when the
    // context asks for names; with keep_text_symbols the named text symbols
    // (arrows, operators, currency signs) stay as they are.
    static constexpr PresetStep demojize(bool only_if_cldr, bool keep_text_symbols) noexcept {
        return {.kind = Kind::Demojize, .flag_a = only_if_cldr, .flag_b = keep_text_symbols};
    }
};

// What every step of one preset call sees; the executor never changes it.
struct PresetContext {
    std::optional<std::string_view> lang = {};  // already resolved by the preset
    std::size_t input_len = 0;             // the base of every growth check
    DigitPolicy digit_policy = DigitPolicy::Numeric;
    bool strict_iso9 = false;
    bool emoji_names = false;  // emoji_style "cldr"
};

// NormalizeOutputTooLarge when `current_len` exceeds the preset's input by
// more than MAX_PRESET_GROWTH; shrinking never fails.
std::expected<void, CoreError> check_growth(std::size_t current_len, const PresetContext& ctx);

// Applies the list to `text`. Returns false and leaves `out` untouched when
// no step changed the text; otherwise writes the result into `out` and
// returns true. The first error (a step's, the growth limit's) ends the run
// and nothing partial is written.
std::expected<bool, CoreError> apply_steps(std::span<const PresetStep> steps, std::string_view text,
                                           const PresetContext& ctx, std::string& out);

// apply_steps with its result always as a new string.
std::expected<std::string, CoreError> run_steps(std::span<const PresetStep> steps, std::string_view text,
                                                const PresetContext& ctx);

// The two callbacks a FixedPoint hands to the fold engine, over one
// environment: the inner list and the context.
struct StepsEnv {
    std::span<const PresetStep> steps;
    const PresetContext* ctx;
};
// The list run on a segment.
std::expected<std::string, CoreError> run_steps_callback(const void* env, std::string_view segment);
// Whether the list changes the one-character text `ch`; a failed run counts
// as a change.
bool steps_change_char_callback(const void* env, char32_t ch);

// Empties `out` and writes `text` with every maximal run of characters
// outside Latin, Common, Inherited and Bopomofo transliterated (errors
// Preserve, no replacement text, no scheme flags) and the rest copied.
void transliterate_non_latin_runs(std::string_view text, std::optional<std::string_view> lang, std::string& out);

// The character-wise confusable fold followed by NFC, repeated until a pass
// changes nothing (at most MAX_FIXED_POINT_PASSES), then finished in the
// segment-wise fold when the last pass still changed the text. Returns false
// and leaves `out` untouched when the result equals `text`; otherwise writes
// it into `out` and returns true.
std::expected<bool, CoreError> confusables_nfc_fixed_point(std::string_view text, std::string_view target,
                                                           DigitPolicy digit_policy, std::string& out);

// confusables_nfc_fixed_point followed by dropping every combining mark whose
// script differs from that of the last base with a specific script, repeated
// until the filter drops nothing (at most MAX_FIXED_POINT_PASSES). Reports as
// confusables_nfc_fixed_point does.
std::expected<bool, CoreError> confusables_nfc_fixed_point_scripts(std::string_view text, std::string_view target,
                                                                   DigitPolicy digit_policy, std::string& out);

}  // namespace kelrad::presets
