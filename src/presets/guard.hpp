// The presets' verification guard: one read of the input that decides
// whether any step of a preset could change it.
//
// A `GuardSpec` says what a preset's steps act on; `scan` answers
// `Canonical` (no step changes the text: the preset hands its input back),
// `CollapseWhitespaceOnly` (the only defect is ASCII whitespace that
// whitespace collapsing repairs) or `RunPreset`. The guard is conservative:
// it may send a text to the chain that the chain leaves alone, never the
// reverse. Specs are derived from step lists by `spec_for_steps`, at compile
// time for the constant chains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "presets/steps.hpp"
#include "tables/confusables.hpp"
#include "util/panic.hpp"

namespace kelrad::presets::guard {

struct GuardSpec {
    // The most combining marks a zalgo step keeps, when the chain has one.
    std::optional<std::size_t> zalgo_cap = {};
    bool controls = false;
    bool whitespace = false;
    bool case_fold = false;
    bool confusables = false;
    bool normalization = false;
    bool combining_marks = false;
    bool accents = false;
    bool bidi = false;
    bool zero_width = false;
    bool format = false;
    bool non_ascii = false;
    bool emoji = false;
    bool ascii_digit_lookalikes = false;

    constexpr bool operator==(const GuardSpec&) const = default;
};

enum class GuardVerdict : std::uint8_t { Canonical = 0, CollapseWhitespaceOnly = 1, RunPreset = 2 };

// The spec of a step list: the flags of every step, a FixedPoint's inner
// list merged in, the cap of the last zalgo step (the smaller one where a
// FixedPoint brings its own). Asserts that every confusable step folds to
// Latin and that no FixedPoint nests another.
constexpr GuardSpec spec_for_steps(std::span<const PresetStep> steps) {
    using Kind = PresetStep::Kind;
    GuardSpec spec;
    for (const PresetStep& step : steps) {
        switch (step.kind) {
            case Kind::ResolveDeletions:
            case Kind::StripControl: spec.controls = true; break;
            case Kind::CollapseWhitespace: spec.whitespace = true; break;
            case Kind::FoldCase: spec.case_fold = true; break;
            case Kind::FoldConfusableChars:
            case Kind::ConfusablesNfcFixedPoint:
            case Kind::ConfusablesNfcFixedPointScripts:
                KELRAD_ASSERT(step.target == "latin",
                              "fast-path guard supports only Latin confusable targets; the Cyrillic map rewrites "
                              "different sources (ASCII A/B/a/b), so a non-Latin target would let the guard skip "
                              "input the fold changes \u2014 make the guard target-aware first");
                spec.confusables = spec.combining_marks = true;
                break;
            case Kind::Nfkc:
            case Kind::Nfc:
            case Kind::NfcUnlessAscii: spec.normalization = spec.combining_marks = true; break;
            case Kind::StripZalgo:
            case Kind::StripZalgoIfZalgo:
                spec.combining_marks = true;
                spec.zalgo_cap = step.max_marks;
                break;
            case Kind::CollapseRepeatedMarks: spec.combining_marks = true; break;
            case Kind::StripAccents: spec.accents = spec.combining_marks = true; break;
            case Kind::StripBidi: spec.bidi = true; break;
            case Kind::StripZeroWidth: spec.zero_width = true; break;
            case Kind::StripFormatChars: spec.format = true; break;
            case Kind::Transliterate:
            case Kind::TransliterateNonLatinRuns: spec.non_ascii = true; break;
            case Kind::Demojize: spec.emoji = true; break;
            case Kind::FoldAsciiDigitLookalikes: spec.ascii_digit_lookalikes = true; break;
            // Runs only under a digit policy other than Numeric, when the
            // guard is not consulted.
            case Kind::NormalizeConfusables: break;
            case Kind::FixedPoint: {
                for (const PresetStep& inner : step.inner_steps()) {
                    KELRAD_ASSERT(inner.kind != Kind::FixedPoint,
                                  "FixedPoint inner list must not contain a nested FixedPoint");
                }
                const GuardSpec in = spec_for_steps(step.inner_steps());
                spec.controls |= in.controls;
                spec.whitespace |= in.whitespace;
                spec.case_fold |= in.case_fold;
                spec.confusables |= in.confusables;
                spec.normalization |= in.normalization;
                spec.combining_marks |= in.combining_marks;
                spec.accents |= in.accents;
                spec.bidi |= in.bidi;
                spec.zero_width |= in.zero_width;
                spec.format |= in.format;
                spec.non_ascii |= in.non_ascii;
                spec.emoji |= in.emoji;
                spec.ascii_digit_lookalikes |= in.ascii_digit_lookalikes;
                if (in.zalgo_cap && (!spec.zalgo_cap || *in.zalgo_cap < *spec.zalgo_cap)) {
                    spec.zalgo_cap = in.zalgo_cap;
                }
                break;
            }
        }
    }
    return spec;
}

// One forward pass over the text; never allocates. `confusable_map` is the
// Latin map when the spec folds confusables, else nullptr.
GuardVerdict scan(std::string_view text, const GuardSpec& spec, const tables::ConfusableMap* confusable_map) noexcept;

}  // namespace kelrad::presets::guard
