// The configurable text pipeline: a cleaning chain composed from independent
// switches instead of picked from the fixed presets.
//
// The switches (`PipelineOptions`) are resolved once, at construction, into a
// `TextPipeline`: a mask over the constant, ordered step table
// `PIPELINE_STEPS` plus the few parameters the steps read. Processing walks
// the table in its fixed order and runs every step whose bit is set, so the
// order in which options are given never matters. Every step is one service
// of the text, transliteration and security modules; the record is read-only
// once built, so any number of threads may process with one pipeline, each
// with its own buffers.
//
// There is no growth limit, unlike the presets': a pipeline is configured by
// its caller for its own input, each step grows a text by a bounded factor
// (NFKC at most 11 times: U+FDFA, 3 bytes, becomes 33), and the re-runs of a
// profile start from text the first run has already normalized.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "security/confusables.hpp"
#include "text/error.hpp"
#include "text/normalize.hpp"

namespace kelrad::pipeline {

using confusables::DigitPolicy;

// The caller's switches, as given. `strip_control` and `strip_zero_width`
// follow `collapse_whitespace` when left unset.
struct PipelineOptions {
    std::optional<std::string_view> normalize;  // "NFC", "NFD", "NFKC" or "NFKD"
    bool transliterate = false;
    std::optional<std::string_view> lang;  // handed to the transliteration engine unchecked
    bool strict_iso9 = false;
    bool gost7034 = false;  // excludes strict_iso9
    bool confusables = false;
    bool strip_accents = false;
    bool fold_case = false;  // around a second confusables step when `confusables` is set too
    bool collapse_whitespace = false;
    std::optional<bool> strip_control;
    std::optional<bool> strip_zero_width;
    bool demojize = false;
    std::optional<std::string_view> demojize_replacement;  // given: every emoji becomes it, verbatim
    bool strip_bidi = false;
    std::optional<std::size_t> strip_zalgo;  // max_marks kept per base
    bool strip_pua = false;
    bool strip_plane14 = false;
    bool resolve_deletions = false;
    bool resolve_cr = false;  // only with resolve_deletions
    std::string_view digit_policy = "numeric";  // of the confusables steps
};

struct PipelineStep {
    std::uint64_t bit;
    std::string_view name;
};

// The bit of each row in a pipeline's step mask.
enum StepBit : std::uint32_t {
    kNormalize = 0x0001,
    kTransliterate = 0x0002,
    kConfusables = 0x0004,
    kStripAccents = 0x0008,
    kFoldCase = 0x0010,
    kCollapseWhitespace = 0x0020,
    kDemojize = 0x0040,
    kStripControl = 0x0080,
    kStripZeroWidth = 0x0100,
    kStripBidi = 0x0200,
    kStripZalgo = 0x0400,
    kConfusablesAgain = 0x0800,
    kStripPua = 0x1000,
    kFoldCaseAgain = 0x2000,
    kStripPlane14 = 0x4000,
    kResolveDeletions = 0x8000,
};

// The steps in execution order: 16 rows, 14 names (confusables and fold_case
// run twice when both are set: confusables, fold_case, confusables,
// fold_case, since folding the case can make a new homoglyph and folding a
// homoglyph a new capital).
inline constexpr std::array<PipelineStep, 16> PIPELINE_STEPS = {{
    {kResolveDeletions, "resolve_deletions"},
    {kNormalize, "normalize"},
    {kStripZalgo, "strip_zalgo"},
    {kStripBidi, "strip_bidi"},
    {kStripPlane14, "strip_plane14"},
    {kDemojize, "demojize"},
    {kStripAccents, "strip_accents"},
    {kTransliterate, "transliterate"},
    {kConfusables, "confusables"},
    {kFoldCase, "fold_case"},
    {kConfusablesAgain, "confusables"},
    {kFoldCaseAgain, "fold_case"},
    {kStripControl, "strip_control"},
    {kStripZeroWidth, "strip_zero_width"},
    {kStripPua, "strip_pua"},
    {kCollapseWhitespace, "collapse_whitespace"},
}};

// One active step as `steps()` lists it: its name and, for some, a detail
// (the form, the language, the target and digit policy, the mark cap, "cr").
struct ActiveStep {
    std::string_view name;
    std::optional<std::string> detail;
};

// Buffers a caller may keep between calls, so that processing allocates only
// when a text outgrows them.
class PipelineWorkspace {
public:
    // Gives memory back after a large text.
    void shrink() noexcept;

private:
    friend class TextPipeline;
    std::array<std::string, 3> buffers_;
};

class TextPipeline {
public:
    // Checks the form, then the two Cyrillic schemes, then the digit policy
    // (parsed, then refused unless it is "numeric" or a confusables step
    // runs); the first failure wins.
    static std::expected<TextPipeline, CoreError> create(const PipelineOptions& options);

    // The same pipeline with another digit policy: numeric always, tr39 and
    // preserve only with a confusables step (`DigitPolicyWithoutConfusables`
    // otherwise, showing this pipeline's repr).
    std::expected<TextPipeline, CoreError> with_digit_policy(DigitPolicy policy) &&;

    // The pipeline of a named profile: it carries the profile's purpose and
    // runs to a fixed point.
    TextPipeline into_profile(std::string_view purpose) && noexcept;

    // One pass over the table. The result is `text` itself when no step
    // changed it, else a view into the workspace, valid until the workspace
    // is used again.
    std::expected<std::string_view, CoreError> run_steps(std::string_view text, PipelineWorkspace& workspace) const;

    // One pass, or for a profile passes until one leaves its input as it was
    // (at most 9 in all: the first and up to MAX_FIXED_POINT_PASSES more).
    // The result is as `run_steps` gives it.
    std::expected<std::string_view, CoreError> process(std::string_view text, PipelineWorkspace& workspace) const;
    std::expected<std::string, CoreError> process(std::string_view text) const;

    // The active rows, in table order, as (name, detail), computed as they
    // are read.
    auto active_steps() const {
        return PIPELINE_STEPS | std::views::filter([this](const PipelineStep& s) { return (step_mask_ & s.bit) != 0; }) |
               std::views::transform([this](const PipelineStep& s) { return ActiveStep{s.name, detail(s.bit)}; });
    }
    std::vector<ActiveStep> steps() const;

    // "TextPipeline(normalize=NFKC -> confusables=latin -> strip_pua)".
    std::string repr() const;

    std::string_view purpose() const noexcept { return purpose_; }
    std::uint32_t step_mask() const noexcept { return step_mask_; }
    DigitPolicy digit_policy() const noexcept { return digit_policy_; }
    bool run_to_fixed_point() const noexcept { return run_to_fixed_point_; }

private:
    // One pass's result: the text, and the buffer backing it (nullptr when
    // it is the input).
    struct PassResult {
        std::string_view text;
        std::string* held;
    };

    TextPipeline() = default;
    std::optional<std::string> detail(std::uint64_t bit) const;
    std::expected<PassResult, CoreError> run_pass(std::string_view text, std::string& a, std::string& b) const;

    std::optional<std::size_t> strip_zalgo_;
    std::optional<std::string> normalize_;  // the form exactly as given, validated
    std::optional<normalize::Form> form_;   // the same form, resolved
    std::optional<std::string> lang_;
    std::optional<std::string> demojize_replacement_;
    std::string_view purpose_;  // static text; empty for a pipeline built from options
    std::uint32_t step_mask_ = 0;
    // The demojize step's symbol sets, copied instead of named. The emoji
    // module keeps its one set, the wide one, with a single flag.
    bool keep_symbols_narrow_ = false;
    bool keep_symbols_wide_ = true;
    bool resolve_cr_ = false;
    bool strict_iso9_ = false;
    bool gost7034_ = false;
    bool run_to_fixed_point_ = false;
    DigitPolicy digit_policy_ = DigitPolicy::Numeric;
};

}  // namespace kelrad::pipeline
