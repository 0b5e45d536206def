#include "presets/presets.hpp"

#include <array>
#include <utility>

#include "tables/confusables.hpp"
#include "text/strip.hpp"
#include "translit/langs.hpp"
#include "util/panic.hpp"

namespace kelrad::presets {
namespace {

using Kind = PresetStep::Kind;
using guard::GuardSpec;

constexpr std::string_view kLatin = "latin";
// The zalgo cap of the chains (the module's default zalgo threshold).
constexpr std::uint8_t kZalgoCap = 3;

constexpr PresetStep step(Kind k) { return PresetStep::of(k); }
// The opening confusable fold, skipped under Numeric.
constexpr PresetStep kOpeningFold = PresetStep::confusable(Kind::NormalizeConfusables, kLatin);
constexpr PresetStep kStripFormatChars = PresetStep::strip_format_chars(true, false);
constexpr PresetStep kFoldLatin = PresetStep::confusable(Kind::FoldConfusableChars, kLatin);

constexpr PresetStep kCanonicalizeSteps[] = {
    step(Kind::ResolveDeletions),
    kOpeningFold,
    step(Kind::Nfkc),
    step(Kind::StripBidi),
    kStripFormatChars,
    step(Kind::StripControl),
    step(Kind::StripZeroWidth),
    step(Kind::CollapseWhitespace),
    step(Kind::CollapseRepeatedMarks),
    PresetStep::strip_zalgo(kZalgoCap),
    step(Kind::Nfc),
    PresetStep::confusable(Kind::ConfusablesNfcFixedPoint, kLatin),
    step(Kind::CollapseRepeatedMarks),
    PresetStep::strip_zalgo_if_zalgo(kZalgoCap),
};

constexpr PresetStep kCanonicalizeStrictSteps[] = {
    step(Kind::ResolveDeletions),
    kOpeningFold,
    step(Kind::Nfkc),
    step(Kind::StripBidi),
    step(Kind::StripZeroWidth),
    step(Kind::StripControl),
    kStripFormatChars,
    PresetStep::confusable(Kind::ConfusablesNfcFixedPointScripts, kLatin),
    step(Kind::CollapseRepeatedMarks),
    PresetStep::strip_zalgo(kZalgoCap),
    step(Kind::CollapseWhitespace),
    step(Kind::Nfc),
};

// Every mark goes but for the negation overlays that zalgo stripping keeps.
constexpr PresetStep kStripObfuscationSteps[] = {
    step(Kind::ResolveDeletions),
    kOpeningFold,
    step(Kind::Nfkc),
    PresetStep::strip_zalgo(0),
    step(Kind::StripBidi),
    step(Kind::StripZeroWidth),
    kStripFormatChars,
    kFoldLatin,
    step(Kind::StripAccents),
    step(Kind::StripControl),
    step(Kind::CollapseWhitespace),
    step(Kind::NfcUnlessAscii),
};

// Only removes or shrinks: private use and the emoji presentation selectors stay.
constexpr PresetStep kStripFormatSteps[] = {
    step(Kind::StripBidi),
    PresetStep::strip_format_chars(false, true),
    step(Kind::StripControl),
    step(Kind::StripZeroWidth),
    step(Kind::CollapseWhitespace),
};

constexpr PresetStep kSkeletonFixedPoint[] = {step(Kind::FoldCase), kFoldLatin, step(Kind::Nfkc)};
// No opening fold: the digit policy acts through the character folds.
constexpr PresetStep kSkeletonKeySteps[] = {
    step(Kind::ResolveDeletions),
    step(Kind::StripBidi),
    kStripFormatChars,
    step(Kind::StripControl),
    step(Kind::StripZeroWidth),
    step(Kind::Nfkc),
    kFoldLatin,
    step(Kind::FoldAsciiDigitLookalikes),
    PresetStep::fixed_point(kSkeletonFixedPoint),
    step(Kind::CollapseWhitespace),
};

// Latin text keeps its accents; Bopomofo stays as it is.
constexpr PresetStep kSortKeySteps[] = {
    step(Kind::ResolveDeletions),
    kOpeningFold,
    step(Kind::Nfkc),
    step(Kind::StripBidi),
    kStripFormatChars,
    step(Kind::FoldCase),
    step(Kind::TransliterateNonLatinRuns),
    step(Kind::FoldCase),
    step(Kind::StripControl),
    step(Kind::StripZeroWidth),
    step(Kind::CollapseWhitespace),
    step(Kind::CollapseRepeatedMarks),
    PresetStep::strip_zalgo(kZalgoCap),
    step(Kind::NfcUnlessAscii),
};

constexpr PresetStep kSearchKeySteps[] = {
    step(Kind::ResolveDeletions),
    kOpeningFold,
    step(Kind::Nfkc),
    step(Kind::StripBidi),
    kStripFormatChars,
    step(Kind::FoldCase),
    PresetStep::transliterate(ErrorMode::Preserve, false),
    step(Kind::StripAccents),
    step(Kind::FoldCase),
    step(Kind::StripControl),
    step(Kind::StripZeroWidth),
    step(Kind::CollapseWhitespace),
    step(Kind::NfcUnlessAscii),
};

// Transliteration runs also without a language (the per-code-point tables).
// The list is not made of per-character rewrites only, so a FixedPoint over
// it keeps the 8th output rather than calling the fold engine.
constexpr PresetStep kCatalogFixedPoint[] = {
    PresetStep::transliterate(ErrorMode::Preserve, false), kFoldLatin, step(Kind::StripAccents)};
constexpr PresetStep kCatalogKeySteps[] = {
    step(Kind::ResolveDeletions),
    kOpeningFold,
    step(Kind::Nfkc),
    step(Kind::StripBidi),
    kStripFormatChars,
    step(Kind::FoldCase),
    PresetStep::fixed_point(kCatalogFixedPoint),
    step(Kind::FoldCase),
    step(Kind::StripControl),
    step(Kind::StripZeroWidth),
    step(Kind::CollapseWhitespace),
    step(Kind::NfcUnlessAscii),
};

// Emoji are named twice: before transliteration and again after accent
// stripping, which can leave a named character behind. Transliteration runs
// only with a language, dropping what it cannot write.
constexpr PresetStep kNameEmoji = PresetStep::demojize(true, true);
constexpr PresetStep kMlNormalizeSteps[] = {
    step(Kind::ResolveDeletions),
    step(Kind::Nfkc),
    kNameEmoji,
    PresetStep::transliterate(ErrorMode::Ignore, true),
    step(Kind::StripAccents),
    kNameEmoji,
    step(Kind::FoldCase),
    step(Kind::StripControl),
    step(Kind::StripZeroWidth),
    step(Kind::CollapseWhitespace),
    step(Kind::NfcUnlessAscii),
};
constexpr PresetStep kMlNormalizeKeepCaseSteps[] = {
    step(Kind::ResolveDeletions),
    step(Kind::Nfkc),
    kNameEmoji,
    PresetStep::transliterate(ErrorMode::Ignore, true),
    step(Kind::StripAccents),
    kNameEmoji,
    step(Kind::StripControl),
    step(Kind::StripZeroWidth),
    step(Kind::CollapseWhitespace),
    step(Kind::NfcUnlessAscii),
};

// What each written-out chain acts on, as the guard is documented to know
// it; the static_asserts below hold the step lists to it.
constexpr GuardSpec kCanonicalizeSpec{.zalgo_cap = 3, .controls = true, .whitespace = true, .confusables = true,
                                      .normalization = true, .combining_marks = true, .bidi = true,
                                      .zero_width = true, .format = true};
constexpr GuardSpec kStripObfuscationSpec{.zalgo_cap = 0, .controls = true, .whitespace = true,
                                          .confusables = true, .normalization = true, .combining_marks = true,
                                          .accents = true, .bidi = true, .zero_width = true, .format = true};
constexpr GuardSpec kStripFormatSpec{
    .controls = true, .whitespace = true, .bidi = true, .zero_width = true, .format = true};
constexpr GuardSpec kSkeletonKeySpec{.controls = true, .whitespace = true, .case_fold = true, .confusables = true,
                                     .normalization = true, .combining_marks = true, .bidi = true,
                                     .zero_width = true, .format = true, .ascii_digit_lookalikes = true};
constexpr GuardSpec kSortKeySpec{.zalgo_cap = 3, .controls = true, .whitespace = true, .case_fold = true,
                                 .normalization = true, .combining_marks = true, .bidi = true, .zero_width = true,
                                 .format = true, .non_ascii = true};
constexpr GuardSpec kSearchKeySpec{.controls = true, .whitespace = true, .case_fold = true, .normalization = true,
                                   .combining_marks = true, .accents = true, .bidi = true, .zero_width = true,
                                   .format = true, .non_ascii = true};
constexpr GuardSpec kCatalogKeySpec{.controls = true, .whitespace = true, .case_fold = true, .confusables = true,
                                    .normalization = true, .combining_marks = true, .accents = true, .bidi = true,
                                    .zero_width = true, .format = true, .non_ascii = true};

static_assert(guard::spec_for_steps(kCanonicalizeSteps) == kCanonicalizeSpec);
static_assert(guard::spec_for_steps(kCanonicalizeStrictSteps) == kCanonicalizeSpec);
static_assert(guard::spec_for_steps(kStripObfuscationSteps) == kStripObfuscationSpec);
static_assert(guard::spec_for_steps(kStripFormatSteps) == kStripFormatSpec);
static_assert(guard::spec_for_steps(kSkeletonKeySteps) == kSkeletonKeySpec);
static_assert(guard::spec_for_steps(kSortKeySteps) == kSortKeySpec);
static_assert(guard::spec_for_steps(kSearchKeySteps) == kSearchKeySpec);
static_assert(guard::spec_for_steps(kCatalogKeySteps) == kCatalogKeySpec);

constexpr GuardSpec kMlNormalizeSpec = guard::spec_for_steps(kMlNormalizeSteps);
constexpr GuardSpec kMlNormalizeKeepCaseSpec = guard::spec_for_steps(kMlNormalizeKeepCaseSteps);
static_assert(!kMlNormalizeSpec.confusables && !kMlNormalizeSpec.zalgo_cap && kMlNormalizeSpec.case_fold &&
              kMlNormalizeSpec.emoji && kMlNormalizeSpec.non_ascii);

struct Chain {
    std::span<const PresetStep> steps;
    const GuardSpec* spec;
};

constexpr std::array<Chain, 9> kChains = {{
    {kCanonicalizeSteps, &kCanonicalizeSpec},
    {kCanonicalizeStrictSteps, &kCanonicalizeSpec},
    {kStripObfuscationSteps, &kStripObfuscationSpec},
    {kStripFormatSteps, &kStripFormatSpec},
    {kSkeletonKeySteps, &kSkeletonKeySpec},
    {kSortKeySteps, &kSortKeySpec},
    {kSearchKeySteps, &kSearchKeySpec},
    {kCatalogKeySteps, &kCatalogKeySpec},
    {kMlNormalizeSteps, &kMlNormalizeSpec},
}};

const Chain& chain_of(Preset preset, bool fold_case) noexcept {
    static constexpr Chain kKeepCase{kMlNormalizeKeepCaseSteps, &kMlNormalizeKeepCaseSpec};
    if (preset == Preset::MlNormalize && !fold_case) return kKeepCase;
    return kChains[static_cast<std::size_t>(preset)];
}

constexpr bool takes_lang(Preset p) noexcept {
    return p == Preset::SortKey || p == Preset::SearchKey || p == Preset::CatalogKey || p == Preset::MlNormalize;
}

constexpr bool takes_digit_policy(Preset p) noexcept { return p != Preset::StripFormat && p != Preset::MlNormalize; }

struct NamedPreset {
    std::string_view name;
    Preset preset;
};

constexpr NamedPreset kPresetNames[] = {
    {"canonicalize", Preset::Canonicalize},
    {"security_clean", Preset::Canonicalize},
    {"canonicalize_strict", Preset::CanonicalizeStrict},
    {"normalize_user_input", Preset::CanonicalizeStrict},
    {"strip_format", Preset::StripFormat},
    {"display_clean", Preset::StripFormat},
    {"strip_obfuscation", Preset::StripObfuscation},
    {"skeleton_key", Preset::SkeletonKey},
    {"sort_key", Preset::SortKey},
    {"search_key", Preset::SearchKey},
    {"catalog_key", Preset::CatalogKey},
    {"ml_normalize", Preset::MlNormalize},
};

// The plain form of a preset: `run(out)` is the preset writing into `out`;
// its result, or a copy of the input.
template <class Run>
std::expected<std::string, CoreError> as_string(std::string_view text, Run&& run) {
    std::string out;
    auto changed = run(out);
    if (!changed) return std::unexpected(std::move(changed.error()));
    if (!*changed) out.assign(text);
    return out;
}

}  // namespace

std::optional<Preset> preset_named(std::string_view name) noexcept {
    for (const NamedPreset& entry : kPresetNames) {
        if (entry.name == name) return entry.preset;
    }
    return std::nullopt;
}

std::span<const PresetStep> chain_steps(Preset preset, bool fold_case) noexcept {
    return chain_of(preset, fold_case).steps;
}

const GuardSpec& guard_spec(Preset preset, bool fold_case) noexcept { return *chain_of(preset, fold_case).spec; }

std::expected<bool, CoreError> run_chain(Preset preset, std::string_view text, const PresetOptions& options,
                                         std::string& out) {
    const PresetContext ctx{
        .lang = takes_lang(preset) ? options.lang : std::nullopt,
        .input_len = text.size(),
        .digit_policy = takes_digit_policy(preset) ? options.digit_policy : DigitPolicy::Numeric,
        .strict_iso9 = preset == Preset::CatalogKey && options.strict_iso9,
        .emoji_names = preset == Preset::MlNormalize && options.emoji_style == "cldr",
    };
    const std::span<const PresetStep> steps = chain_steps(preset, options.fold_case);
    auto changed = apply_steps(steps, text, ctx, out);
    if (!changed || !*changed) return changed;
    // Without the guard, the key chains run until their output settles.
    if ((preset == Preset::SortKey || preset == Preset::SearchKey) && ctx.digit_policy != DigitPolicy::Numeric) {
        std::string next;
        for (std::size_t runs = 1; runs < MAX_KEY_CHAIN_RUNS; ++runs) {
            auto again = apply_steps(steps, out, ctx, next);
            if (!again) return std::unexpected(std::move(again.error()));
            if (!*again) break;
            out.swap(next);
        }
        return out != text;
    }
    return true;
}

std::expected<bool, CoreError> run_preset(Preset preset, std::string_view text, const PresetOptions& options,
                                          std::string& out) {
    if (takes_lang(preset)) {
        if (auto known = transliterate::resolve_lang(options.lang); !known) {
            return std::unexpected(std::move(known.error()));
        }
    }
    if (preset == Preset::MlNormalize && options.emoji_style != "cldr" && options.emoji_style != "none") {
        return fail(error::InvalidEmojiStyle{std::string(options.emoji_style)});
    }
    if (!takes_digit_policy(preset) || options.digit_policy == DigitPolicy::Numeric) {
        const GuardSpec& spec = guard_spec(preset, options.fold_case);
        const tables::ConfusableMap* map = spec.confusables ? &tables::CONFUSABLES_LATIN : nullptr;
        switch (guard::scan(text, spec, map)) {
            case guard::GuardVerdict::Canonical: return false;
            case guard::GuardVerdict::CollapseWhitespaceOnly:
                strip::collapse_whitespace(text, out);  // changes every text the guard sends here
                return true;
            case guard::GuardVerdict::RunPreset: break;
        }
    }
    return run_chain(preset, text, options, out);
}

std::expected<bool, CoreError> is_canonical(std::string_view text, Preset preset) {
    std::string out;
    auto changed = run_preset(preset, text, {}, out);
    if (!changed) return std::unexpected(std::move(changed.error()));
    return !*changed;
}

std::expected<bool, CoreError> canonicalize(std::string_view text, DigitPolicy digit_policy, std::string& out) {
    return run_preset(Preset::Canonicalize, text, {.digit_policy = digit_policy}, out);
}

std::expected<bool, CoreError> canonicalize_strict(std::string_view text, DigitPolicy digit_policy,
                                                   std::string& out) {
    return run_preset(Preset::CanonicalizeStrict, text, {.digit_policy = digit_policy}, out);
}

std::expected<bool, CoreError> strip_obfuscation(std::string_view text, DigitPolicy digit_policy, std::string& out) {
    return run_preset(Preset::StripObfuscation, text, {.digit_policy = digit_policy}, out);
}

bool strip_format(std::string_view text, std::string& out) {
    auto changed = run_preset(Preset::StripFormat, text, {}, out);
    KELRAD_ASSERT(changed, "strip_format steps are infallible");
    return *changed;
}

std::expected<bool, CoreError> skeleton_key(std::string_view text, std::string_view digit_policy, std::string& out) {
    auto policy = confusables::parse_digit_policy(digit_policy);
    if (!policy) return std::unexpected(std::move(policy.error()));
    return run_preset(Preset::SkeletonKey, text, {.digit_policy = *policy}, out);
}

std::expected<bool, CoreError> sort_key(std::string_view text, std::optional<std::string_view> lang,
                                        DigitPolicy digit_policy, std::string& out) {
    return run_preset(Preset::SortKey, text, {.digit_policy = digit_policy, .lang = lang}, out);
}

std::expected<bool, CoreError> search_key(std::string_view text, std::optional<std::string_view> lang,
                                          DigitPolicy digit_policy, std::string& out) {
    return run_preset(Preset::SearchKey, text, {.digit_policy = digit_policy, .lang = lang}, out);
}

std::expected<bool, CoreError> catalog_key(std::string_view text, std::optional<std::string_view> lang,
                                           bool strict_iso9, DigitPolicy digit_policy, std::string& out) {
    return run_preset(Preset::CatalogKey, text,
                      {.digit_policy = digit_policy, .lang = lang, .strict_iso9 = strict_iso9}, out);
}

std::expected<bool, CoreError> ml_normalize(std::string_view text, std::optional<std::string_view> lang,
                                            std::string_view emoji_style, bool fold_case, std::string& out) {
    const PresetOptions options{
        .digit_policy = DigitPolicy::Numeric, .lang = lang, .emoji_style = emoji_style, .fold_case = fold_case};
    return run_preset(Preset::MlNormalize, text, options, out);
}

std::expected<std::string, CoreError> canonicalize(std::string_view text, DigitPolicy digit_policy) {
    return as_string(text, [&](std::string& out) { return canonicalize(text, digit_policy, out); });
}

std::expected<std::string, CoreError> canonicalize_strict(std::string_view text, DigitPolicy digit_policy) {
    return as_string(text, [&](std::string& out) { return canonicalize_strict(text, digit_policy, out); });
}

std::expected<std::string, CoreError> strip_obfuscation(std::string_view text, DigitPolicy digit_policy) {
    return as_string(text, [&](std::string& out) { return strip_obfuscation(text, digit_policy, out); });
}

std::string strip_format(std::string_view text) {
    std::string out;
    if (!strip_format(text, out)) out.assign(text);
    return out;
}

std::expected<std::string, CoreError> skeleton_key(std::string_view text, std::string_view digit_policy) {
    return as_string(text, [&](std::string& out) { return skeleton_key(text, digit_policy, out); });
}

std::expected<std::string, CoreError> sort_key(std::string_view text, std::optional<std::string_view> lang,
                                               DigitPolicy digit_policy) {
    return as_string(text, [&](std::string& out) { return sort_key(text, lang, digit_policy, out); });
}

std::expected<std::string, CoreError> search_key(std::string_view text, std::optional<std::string_view> lang,
                                                 DigitPolicy digit_policy) {
    return as_string(text, [&](std::string& out) { return search_key(text, lang, digit_policy, out); });
}

std::expected<std::string, CoreError> catalog_key(std::string_view text, std::optional<std::string_view> lang,
                                                  bool strict_iso9, DigitPolicy digit_policy) {
    return as_string(text, [&](std::string& out) { return catalog_key(text, lang, strict_iso9, digit_policy, out); });
}

std::expected<std::string, CoreError> ml_normalize(std::string_view text, std::optional<std::string_view> lang,
                                                   std::string_view emoji_style, bool fold_case) {
    return as_string(text, [&](std::string& out) { return ml_normalize(text, lang, emoji_style, fold_case, out); });
}

}  // namespace kelrad::presets
