#include "presets/steps.hpp"

#include <utility>

#include "security/fixed_point.hpp"
#include "text/case_fold.hpp"
#include "text/deletions.hpp"
#include "text/emoji.hpp"
#include "text/normalize.hpp"
#include "text/scripts.hpp"
#include "text/strip.hpp"
#include "text/zalgo.hpp"
#include "translit/accents.hpp"
#include "translit/transliterate.hpp"
#include "util/panic.hpp"
#include "util/utf8.hpp"

namespace kelrad::presets {
namespace {

using Kind = PresetStep::Kind;
using StepResult = std::expected<bool, CoreError>;

// Every step that writes its whole output reports a change only when the
// output differs: the growth check after an unchanged step could not fail
// (the length was checked already), so the presets' results are the same as
// if every such step counted as changing, and clean text costs no swap.
bool differs(std::string_view out, std::string_view text) noexcept { return out != text; }

// Steps that only ever remove characters changed the text exactly when they
// shortened it.
bool shortened(std::string_view out, std::string_view text) noexcept { return out.size() != text.size(); }

std::string_view policy_name(DigitPolicy policy) noexcept {
    switch (policy) {
        case DigitPolicy::Tr39: return "tr39";
        case DigitPolicy::Preserve: return "preserve";
        case DigitPolicy::Numeric: break;
    }
    return "numeric";
}

// NFC of `s` in place, with `scratch` as the second buffer.
void nfc_in_place(std::string& s, std::string& scratch) {
    if (normalize::normalize_cow(s, normalize::Form::NFC, scratch)) s.swap(scratch);
}

bool normalize_step(std::string_view text, normalize::Form form, std::string& out) {
    return normalize::normalize_cow(text, form, out) && differs(out, text);
}

// The kinds for which "does the list change this one character" is a
// meaningful question: each maps text character by character (up to
// canonical composition, which the fold engine's segments keep together).
bool per_character_list(std::span<const PresetStep> steps) noexcept {
    for (const PresetStep& s : steps) {
        if (s.kind != Kind::Nfkc && s.kind != Kind::Nfc && s.kind != Kind::FoldCase &&
            s.kind != Kind::FoldConfusableChars) {
            return false;
        }
    }
    return true;
}

StepResult apply_fixed_point(const PresetStep& step, std::string_view text, const PresetContext& ctx,
                             std::string& out) {
    const std::span<const PresetStep> inner = step.inner_steps();
    std::string prev, next;
    auto first = apply_steps(inner, text, ctx, prev);
    if (!first) return std::unexpected(std::move(first.error()));
    if (!*first) return false;
    std::size_t runs = 1;
    for (; runs < MAX_FIXED_POINT_PASSES; ++runs) {
        auto again = apply_steps(inner, prev, ctx, next);
        if (!again) return std::unexpected(std::move(again.error()));
        if (!*again) break;
        prev.swap(next);
    }
    if (runs == MAX_FIXED_POINT_PASSES && per_character_list(inner)) {
        const StepsEnv env{inner, &ctx};
        auto settled = confusables::fold_to_fixed_point(std::move(prev), {&env, run_steps_callback},
                                                        {&env, steps_change_char_callback});
        if (!settled) return std::unexpected(std::move(settled.error()));
        prev = std::move(*settled);
    }
    if (!differs(prev, text)) return false;
    out = std::move(prev);
    return true;
}

StepResult apply_step(const PresetStep& step, std::string_view text, const PresetContext& ctx, std::string& out) {
    switch (step.kind) {
        case Kind::ResolveDeletions: return deletions::resolve_deletions(text, false, out);
        case Kind::Nfkc: return normalize_step(text, normalize::Form::NFKC, out);
        case Kind::Nfc: return normalize_step(text, normalize::Form::NFC, out);
        case Kind::NfcUnlessAscii: return !utf8::is_ascii(text) && normalize_step(text, normalize::Form::NFC, out);
        case Kind::StripBidi: strip::strip_bidi(text, out); return shortened(out, text);
        case Kind::StripFormatChars:
            strip::strip_format_chars(text, step.flag_a, step.flag_b, out);
            return shortened(out, text);
        case Kind::StripControl: strip::strip_control_chars(text, out); return shortened(out, text);
        case Kind::StripZeroWidth: strip::strip_zero_width_chars(text, out); return shortened(out, text);
        case Kind::CollapseWhitespace: strip::collapse_whitespace(text, out); return differs(out, text);
        case Kind::StripZalgo: zalgo::strip_zalgo(text, step.max_marks, out); return differs(out, text);
        case Kind::StripZalgoIfZalgo:
            if (!zalgo::is_zalgo(text, step.max_marks)) return false;
            zalgo::strip_zalgo(text, step.max_marks, out);
            return differs(out, text);
        case Kind::CollapseRepeatedMarks: return zalgo::collapse_repeated_marks(text, out);
        case Kind::FoldCase: case_fold::fold_case(text, out); return differs(out, text);
        case Kind::StripAccents: transliterate::strip_accents_into(text, out); return differs(out, text);
        case Kind::Transliterate: {
            if (step.flag_a && !ctx.lang) return false;
            const transliterate::TransliterateOptions options{
                .lang = ctx.lang, .errors = step.errors, .replace_with = "", .strict_iso9 = ctx.strict_iso9};
            return transliterate::transliterate_engine(text, options, out) && differs(out, text);
        }
        case Kind::TransliterateNonLatinRuns:
            transliterate_non_latin_runs(text, ctx.lang, out);
            return differs(out, text);
        case Kind::FoldConfusableChars: {
            auto folded = confusables::fold_chars(text, step.target, ctx.digit_policy, out);
            if (!folded) return std::unexpected(std::move(folded.error()));
            return differs(out, text);
        }
        case Kind::NormalizeConfusables: {
            if (ctx.digit_policy == DigitPolicy::Numeric) return false;
            auto folded = confusables::normalize_confusables(text, step.target, policy_name(ctx.digit_policy), out);
            if (!folded) return std::unexpected(std::move(folded.error()));
            return *folded && differs(out, text);
        }
        case Kind::ConfusablesNfcFixedPoint:
            return confusables_nfc_fixed_point(text, step.target, ctx.digit_policy, out);
        case Kind::ConfusablesNfcFixedPointScripts:
            return confusables_nfc_fixed_point_scripts(text, step.target, ctx.digit_policy, out);
        case Kind::FoldAsciiDigitLookalikes:
            return confusables::fold_ascii_digit_lookalikes(text, ctx.digit_policy, out);
        case Kind::FixedPoint: return apply_fixed_point(step, text, ctx, out);
        case Kind::Demojize:
            if (step.flag_a && !ctx.emoji_names) return false;
            emoji::demojize(text, false, step.flag_b, {}, out);  // emoji without a name are dropped
            return differs(out, text);
    }
    panic("unknown preset step kind");
}

bool is_kept_script(scripts::Script s) noexcept {
    return s == "Latin" || s == "Common" || s == "Inherited" || s == "Bopomofo";
}

bool is_specific_script(scripts::Script s) noexcept { return s != "Common" && s != "Inherited"; }

// Drops every combining mark (non-zero combining class) of a specific script
// that differs from the script of the last base character with a specific
// script: a Cyrillic mark on a Latin letter goes, on a Cyrillic letter it
// stays. Returns false and leaves `out` untouched when nothing is dropped.
bool drop_foreign_marks(std::string_view text, std::string& out) {
    std::optional<scripts::Script> base_script;
    bool dropped = false;
    std::size_t copied = 0;  // text[0, copied) is accounted for in `out`
    for (std::size_t i = 0; i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        const scripts::Script script = scripts::effective_script(cp);
        if (normalize::combining_class(cp) == 0) {
            if (is_specific_script(script)) base_script = script;
        } else if (is_specific_script(script) && base_script && *base_script != script) {
            if (!dropped) {
                out.clear();
                dropped = true;
            }
            out.append(text.substr(copied, i - copied));
            copied = i + len;
        }
        i += len;
    }
    if (!dropped) return false;
    out.append(text.substr(copied));
    return true;
}

}  // namespace

std::expected<void, CoreError> check_growth(std::size_t current_len, const PresetContext& ctx) {
    if (current_len <= ctx.input_len || current_len - ctx.input_len <= MAX_PRESET_GROWTH) return {};
    return fail(error::NormalizeOutputTooLarge{ctx.input_len, current_len, MAX_PRESET_GROWTH});
}

std::expected<bool, CoreError> apply_steps(std::span<const PresetStep> steps, std::string_view text,
                                           const PresetContext& ctx, std::string& out) {
    // `out` holds the current text once a step has changed it; each step
    // writes into `scratch`, and a change swaps the two.
    std::string_view current = text;
    std::string scratch;
    bool changed = false;
    for (const PresetStep& step : steps) {
        auto result = apply_step(step, current, ctx, scratch);
        if (!result) return std::unexpected(std::move(result.error()));
        if (!*result) continue;
        out.swap(scratch);
        current = out;
        changed = true;
        if (auto grown = check_growth(out.size(), ctx); !grown) return std::unexpected(std::move(grown.error()));
    }
    return changed && differs(out, text);
}

std::expected<std::string, CoreError> run_steps(std::span<const PresetStep> steps, std::string_view text,
                                                const PresetContext& ctx) {
    std::string out;
    auto changed = apply_steps(steps, text, ctx, out);
    if (!changed) return std::unexpected(std::move(changed.error()));
    if (!*changed) out.assign(text);
    return out;
}

std::expected<std::string, CoreError> run_steps_callback(const void* env, std::string_view segment) {
    const auto& e = *static_cast<const StepsEnv*>(env);
    return run_steps(e.steps, segment, *e.ctx);
}

bool steps_change_char_callback(const void* env, char32_t ch) {
    const auto& e = *static_cast<const StepsEnv*>(env);
    const std::string one = utf8::encode(ch);
    std::string out;
    auto changed = apply_steps(e.steps, one, *e.ctx, out);
    return !changed || *changed;
}

void transliterate_non_latin_runs(std::string_view text, std::optional<std::string_view> lang, std::string& out) {
    out.clear();
    const transliterate::TransliterateOptions options{.lang = lang, .errors = ErrorMode::Preserve, .replace_with = ""};
    std::string run_out;
    std::size_t run_start = 0;
    bool in_run = false;
    auto end_run = [&](std::size_t end) {
        const std::string_view run = text.substr(run_start, end - run_start);
        if (transliterate::transliterate_engine(run, options, run_out)) {
            out.append(run_out);
        } else {
            out.append(run);
        }
        in_run = false;
    };
    for (std::size_t i = 0; i < text.size();) {
        if (!in_run) {
            const std::size_t ascii = utf8::ascii_prefix_len(text.substr(i));
            out.append(text.substr(i, ascii));
            i += ascii;
            if (i == text.size()) break;
        }
        auto [cp, len] = utf8::decode(text, i);
        if (cp < 0x80 || is_kept_script(scripts::script_of(cp))) {
            if (in_run) end_run(i);
            out.append(text.substr(i, len));
        } else if (!in_run) {
            run_start = i;
            in_run = true;
        }
        i += len;
    }
    if (in_run) end_run(text.size());
}

std::expected<bool, CoreError> confusables_nfc_fixed_point(std::string_view text, std::string_view target,
                                                           DigitPolicy digit_policy, std::string& out) {
    std::string prev, folded, scratch;
    if (auto r = confusables::fold_chars(text, target, digit_policy, prev); !r) {
        return std::unexpected(std::move(r.error()));
    }
    nfc_in_place(prev, scratch);
    if (!differs(prev, text)) return false;
    std::size_t passes = 1;
    for (; passes < MAX_FIXED_POINT_PASSES; ++passes) {
        if (auto r = confusables::fold_chars(prev, target, digit_policy, folded); !r) {
            return std::unexpected(std::move(r.error()));
        }
        if (!differs(folded, prev)) break;
        nfc_in_place(folded, scratch);
        if (!differs(folded, prev)) break;
        prev.swap(folded);
    }
    if (passes == MAX_FIXED_POINT_PASSES) {
        auto settled = confusables::normalize_confusables_owned(std::move(prev), target, digit_policy, "NFC");
        if (!settled) return std::unexpected(std::move(settled.error()));
        prev = std::move(*settled);
    }
    if (!differs(prev, text)) return false;
    out = std::move(prev);
    return true;
}

std::expected<bool, CoreError> confusables_nfc_fixed_point_scripts(std::string_view text, std::string_view target,
                                                                   DigitPolicy digit_policy, std::string& out) {
    std::string current(text), scratch;
    for (std::size_t pass = 0; pass < MAX_FIXED_POINT_PASSES; ++pass) {
        auto folded = confusables_nfc_fixed_point(current, target, digit_policy, scratch);
        if (!folded) return std::unexpected(std::move(folded.error()));
        if (*folded) current.swap(scratch);
        if (!drop_foreign_marks(current, scratch)) break;
        current.swap(scratch);
    }
    if (!differs(current, text)) return false;
    out = std::move(current);
    return true;
}

}  // namespace kelrad::presets
