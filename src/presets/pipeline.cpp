#include "presets/pipeline.hpp"

#include <cstring>
#include <utility>

#include "presets/steps.hpp"
#include "text/case_fold.hpp"
#include "text/deletions.hpp"
#include "text/emoji.hpp"
#include "text/normalize.hpp"
#include "text/strip.hpp"
#include "text/zalgo.hpp"
#include "translit/accents.hpp"
#include "translit/transliterate.hpp"
#include "util/utf8.hpp"

namespace kelrad::pipeline {
namespace {

constexpr std::string_view kTarget = "latin";

constexpr std::string_view policy_name(DigitPolicy policy) noexcept {
    switch (policy) {
        case DigitPolicy::Numeric: return "numeric";
        case DigitPolicy::Tr39: return "tr39";
        case DigitPolicy::Preserve: return "preserve";
    }
    return "numeric";
}

// Equal texts, answered at once for a view of the same bytes.
bool same_text(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && (a.data() == b.data() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// Whether some character lies in U+E0000..U+E007F (UTF-8 F3 A0 80 80 to
// F3 A0 81 BF). A lead byte F3 is rare outside plane 14, so the scan jumps
// from one to the next.
bool has_tag_character(std::string_view text) noexcept {
    const char* p = text.data();
    const char* end = p + text.size();
    while (end - p >= 4) {
        const void* hit = std::memchr(p, 0xF3, static_cast<std::size_t>(end - p - 3));
        if (hit == nullptr) return false;
        p = static_cast<const char*>(hit);
        if (static_cast<unsigned char>(p[1]) == 0xA0 && (static_cast<unsigned char>(p[2]) & 0xFE) == 0x80) {
            return true;
        }
        p += 4;  // F3 leads a four-byte character
    }
    return false;
}

// The text one pass works on: the input, or the scratch buffer the last step
// that changed it wrote. Each step writes into the other buffer, the spare,
// and the two change roles only when the step changed the text.
class PassText {
public:
    PassText(std::string_view text, std::string& a, std::string& b) noexcept : current_(text), buffers_{&a, &b} {}

    std::string_view current() const noexcept { return current_; }
    // The buffer backing `current()`, or nullptr while it is the input.
    std::string* held() const noexcept { return held_ < 0 ? nullptr : buffers_[held_]; }
    std::string& spare() noexcept { return *buffers_[held_ == 0 ? 1 : 0]; }

    bool is_ascii() noexcept {
        if (ascii_ == Ascii::Unknown) ascii_ = utf8::is_ascii(current_) ? Ascii::Yes : Ascii::No;
        return ascii_ == Ascii::Yes;
    }

    // The spare holds the step's whole result.
    void take_spare() noexcept {
        held_ = held_ == 0 ? 1 : 0;
        current_ = *buffers_[held_];
        ascii_ = Ascii::Unknown;
    }
    void take_if_changed() noexcept {
        if (!same_text(spare(), current_)) take_spare();
    }
    // For steps that only remove characters: an unchanged length is an
    // unchanged text.
    void take_if_shorter() noexcept {
        if (spare().size() != current_.size()) take_spare();
    }
    void take(std::string&& result) noexcept {
        spare().swap(result);
        take_spare();
    }

private:
    std::string_view current_;
    std::string* buffers_[2];
    int held_ = -1;
    enum class Ascii : std::uint8_t { Unknown, Yes, No } ascii_ = Ascii::Unknown;
};

}  // namespace

void PipelineWorkspace::shrink() noexcept {
    constexpr std::size_t kKept = std::size_t{1} << 20;
    for (std::string& buffer : buffers_) {
        if (buffer.capacity() > kKept) std::string().swap(buffer);
    }
}

// ---- Building -----------------------------------------------------------------------------

std::expected<TextPipeline, CoreError> TextPipeline::create(const PipelineOptions& o) {
    TextPipeline p;
    if (o.normalize) {
        auto form = normalize::validate_form(*o.normalize);
        if (!form) return fail(error::InvalidPipelineNormForm{std::string(*o.normalize)});
        p.normalize_ = std::string(*o.normalize);
        p.form_ = *form;
    }
    if (o.strict_iso9 && o.gost7034) return fail(error::MutuallyExclusivePipeline{});

    std::uint32_t mask = 0;
    auto set = [&mask](bool on, std::uint32_t bits) {
        if (on) mask |= bits;
    };
    set(o.resolve_deletions, kResolveDeletions);
    set(o.normalize.has_value(), kNormalize);
    set(o.strip_zalgo.has_value(), kStripZalgo);
    set(o.strip_bidi, kStripBidi);
    set(o.strip_plane14, kStripPlane14);
    set(o.demojize || o.demojize_replacement.has_value(), kDemojize);
    set(o.strip_accents, kStripAccents);
    set(o.transliterate, kTransliterate);
    set(o.confusables, kConfusables);
    set(o.fold_case, kFoldCase);
    set(o.confusables && o.fold_case, kConfusablesAgain | kFoldCaseAgain);
    set(o.strip_control.value_or(o.collapse_whitespace), kStripControl);
    set(o.strip_zero_width.value_or(o.collapse_whitespace), kStripZeroWidth);
    set(o.strip_pua, kStripPua);
    set(o.collapse_whitespace, kCollapseWhitespace);
    p.step_mask_ = mask;

    p.strip_zalgo_ = o.strip_zalgo;
    if (o.lang) p.lang_ = std::string(*o.lang);
    if (o.demojize_replacement) p.demojize_replacement_ = std::string(*o.demojize_replacement);
    p.resolve_cr_ = o.resolve_deletions && o.resolve_cr;
    p.strict_iso9_ = o.strict_iso9;
    p.gost7034_ = o.gost7034;

    auto policy = confusables::parse_digit_policy(o.digit_policy);
    if (!policy) return std::unexpected(std::move(policy.error()));
    return std::move(p).with_digit_policy(*policy);
}

std::expected<TextPipeline, CoreError> TextPipeline::with_digit_policy(DigitPolicy policy) && {
    if (policy != DigitPolicy::Numeric && (step_mask_ & kConfusables) == 0) {
        return fail(error::DigitPolicyWithoutConfusables{std::string(policy_name(policy)), repr()});
    }
    digit_policy_ = policy;
    return std::move(*this);
}

TextPipeline TextPipeline::into_profile(std::string_view purpose) && noexcept {
    purpose_ = purpose;
    run_to_fixed_point_ = true;
    return std::move(*this);
}

// ---- Listing ------------------------------------------------------------------------------

std::optional<std::string> TextPipeline::detail(std::uint64_t bit) const {
    switch (bit) {
        case kNormalize: return normalize_;
        case kTransliterate: return lang_;
        case kConfusables:
        case kConfusablesAgain:
            if (digit_policy_ == DigitPolicy::Numeric) return std::string(kTarget);
            return std::string(kTarget) + "," + std::string(policy_name(digit_policy_));
        case kStripZalgo: return std::to_string(*strip_zalgo_);
        case kResolveDeletions:
            if (resolve_cr_) return "cr";
            return std::nullopt;
        default: return std::nullopt;
    }
}

std::vector<ActiveStep> TextPipeline::steps() const {
    std::vector<ActiveStep> out;
    for (ActiveStep step : active_steps()) out.push_back(std::move(step));
    return out;
}

std::string TextPipeline::repr() const {
    std::string out = "TextPipeline(";
    bool first = true;
    for (const ActiveStep& step : active_steps()) {
        if (!first) out += " -> ";
        first = false;
        out += step.name;
        if (step.detail) {
            out += '=';
            out += *step.detail;
        }
    }
    out += ')';
    return out;
}

// ---- Processing ---------------------------------------------------------------------------

namespace {

// The confusables step on the pass's current text. Without a form, one fold
// character by character. With one, fold and normalize until a pass settles
// (at most MAX_FIXED_POINT_PASSES), then hand a text that still changes to the
// segment-wise engine: a fold can make a base that composes with the mark
// after it, and that composition can fold again.
std::expected<void, CoreError> run_confusables(PassText& pass, DigitPolicy policy,
                                               const std::optional<std::string>& form_name,
                                               std::optional<normalize::Form> form) {
    const std::string_view input = pass.current();
    std::string& spare = pass.spare();
    if (auto folded = confusables::fold_chars(input, kTarget, policy, spare); !folded) {
        return std::unexpected(std::move(folded.error()));
    }
    if (!form) {
        pass.take_if_changed();
        return {};
    }
    auto normalize_to = [form = *form](std::string_view text, std::string& out) {
        out.clear();
        normalize::normalize_into(text, form, out);
    };

    // Pass 1. A text that nothing folds settles when it is already in the form.
    std::string result;
    if (same_text(spare, input)) {
        if (!normalize::normalize_cow(input, *form, result) || same_text(result, input)) return {};
    } else {
        normalize_to(spare, result);
        if (same_text(result, input)) return {};
    }
    std::string folded, normalized;
    bool settled = false;
    for (std::size_t pass_number = 2; pass_number <= presets::MAX_FIXED_POINT_PASSES; ++pass_number) {
        if (auto f = confusables::fold_chars(result, kTarget, policy, folded); !f) {
            return std::unexpected(std::move(f.error()));
        }
        if (same_text(folded, result)) {
            settled = true;
            break;
        }
        normalize_to(folded, normalized);
        if (same_text(normalized, result)) {
            settled = true;
            break;
        }
        result.swap(normalized);
    }
    if (!settled) {
        auto fixed = confusables::normalize_confusables_owned(std::move(result), kTarget, policy, *form_name);
        if (!fixed) return std::unexpected(std::move(fixed.error()));
        result = std::move(*fixed);
    }
    if (!same_text(result, input)) pass.take(std::move(result));
    return {};
}

}  // namespace

std::expected<std::string_view, CoreError> TextPipeline::run_steps(std::string_view text,
                                                                   PipelineWorkspace& workspace) const {
    auto result = run_pass(text, workspace.buffers_[0], workspace.buffers_[1]);
    if (!result) return std::unexpected(std::move(result.error()));
    return result->text;
}

std::expected<TextPipeline::PassResult, CoreError> TextPipeline::run_pass(std::string_view text, std::string& a,
                                                                          std::string& b) const {
    PassText pass(text, a, b);
    for (const PipelineStep& row : PIPELINE_STEPS) {
        if ((step_mask_ & row.bit) == 0) continue;
        const std::string_view current = pass.current();
        switch (row.bit) {
            case kResolveDeletions:
                if (deletions::resolve_deletions(current, resolve_cr_, pass.spare())) pass.take_spare();
                break;
            case kNormalize:
                // Every form leaves ASCII as it is.
                if (pass.is_ascii()) break;
                if (normalize::normalize_cow(current, *form_, pass.spare())) pass.take_if_changed();
                break;
            case kStripZalgo:
                if (pass.is_ascii()) break;  // no marks
                zalgo::strip_zalgo(current, *strip_zalgo_, pass.spare());
                pass.take_if_changed();
                break;
            case kStripBidi:
                if (pass.is_ascii()) break;
                strip::strip_bidi(current, pass.spare());
                pass.take_if_shorter();
                break;
            case kStripPlane14:
                if (has_tag_character(current)) {
                    std::string stripped = strip::strip_tags(current);
                    if (stripped.size() != current.size()) pass.take(std::move(stripped));
                }
                break;
            case kDemojize:
                if (pass.is_ascii()) break;  // no emoji sequence is pure ASCII
                if (demojize_replacement_) {
                    emoji::replace_emoji(current, *demojize_replacement_, pass.spare());
                } else {
                    // Only the built-in CLDR names: the pipeline never calls out.
                    emoji::demojize(current, false, keep_symbols_wide_, {}, pass.spare());
                }
                pass.take_if_changed();
                break;
            case kStripAccents:
                if (pass.is_ascii()) break;
                transliterate::strip_accents_into(current, pass.spare());
                pass.take_if_changed();
                break;
            case kTransliterate: {
                // The engine itself, without the registered replacements.
                const transliterate::TransliterateOptions options{
                    .lang = lang_ ? std::optional<std::string_view>(*lang_) : std::nullopt,
                    .errors = ErrorMode::Ignore,
                    .replace_with = "",
                    .strict_iso9 = strict_iso9_,
                    .gost7034 = gost7034_,
                    .tones = false,
                };
                if (transliterate::transliterate_engine(current, options, pass.spare())) pass.take_if_changed();
                break;
            }
            case kConfusables:
            case kConfusablesAgain:
                if (auto done = run_confusables(pass, digit_policy_, normalize_, form_); !done) {
                    return std::unexpected(std::move(done.error()));
                }
                break;
            case kFoldCase:
            case kFoldCaseAgain:
                if (auto folded = case_fold::fold_case_cow(current)) pass.take(std::move(*folded));
                break;
            case kStripControl:
                strip::strip_control_chars(current, pass.spare());
                pass.take_if_shorter();
                break;
            case kStripZeroWidth:
                if (pass.is_ascii()) break;
                strip::strip_zero_width_chars(current, pass.spare());
                pass.take_if_shorter();
                break;
            case kStripPua:
                if (pass.is_ascii()) break;
                strip::strip_pua(current, pass.spare());
                pass.take_if_shorter();
                break;
            case kCollapseWhitespace:
                strip::collapse_whitespace(current, pass.spare());
                pass.take_if_changed();
                break;
            default: break;
        }
    }
    return PassResult{pass.current(), pass.held()};
}

std::expected<std::string_view, CoreError> TextPipeline::process(std::string_view text,
                                                                 PipelineWorkspace& workspace) const {
    auto& buffers = workspace.buffers_;
    std::string_view input = text;
    std::string* held = nullptr;  // the buffer backing `input`
    for (std::size_t run = 0;; ++run) {
        // The run writes into the two buffers that do not hold its input.
        std::string* scratch[2];
        std::size_t n = 0;
        for (std::string& buffer : buffers) {
            if (&buffer != held && n < 2) scratch[n++] = &buffer;
        }
        auto result = run_pass(input, *scratch[0], *scratch[1]);
        if (!result) return std::unexpected(std::move(result.error()));
        if (!run_to_fixed_point_ || same_text(result->text, input) || run == presets::MAX_FIXED_POINT_PASSES) {
            return result->text;
        }
        input = result->text;
        held = result->held;
    }
}

std::expected<std::string, CoreError> TextPipeline::process(std::string_view text) const {
    PipelineWorkspace workspace;
    auto result = process(text, workspace);
    if (!result) return std::unexpected(std::move(result.error()));
    return std::string(*result);
}

}  // namespace kelrad::pipeline
