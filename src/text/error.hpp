// The module's one error type.
//
// Every fallible core operation returns `std::expected<T, CoreError>`. A
// `CoreError` is one of 47 variants; each carries the fields its message
// needs, renders one fixed English message (`error::message`) and belongs to
// one failure class (`error::failure_class`), which the binding layer maps to
// a Python exception class. The variant order is the discriminant order and is
// part of the interface: the class table is indexed by it.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>

namespace kelrad {

namespace error {

// The regular-expression engine's own error, as carried by `RegexCompile`.
struct RegexError {
    enum class Kind : std::uint8_t { Syntax, TooLarge };
    Kind kind = Kind::Syntax;
    std::string text;         // the engine's message, for Syntax
    std::uint64_t limit = 0;  // the compiled-size limit, for TooLarge
};

// Each variant lists its field names in declaration order (`kFields`) and
// exposes the fields as a tuple of references (`fields()`), which is all the
// debug rendering needs.
#define KELRAD_VARIANT_NAME(n) static constexpr std::string_view kName = #n

struct InvalidErrorMode { std::string got; KELRAD_VARIANT_NAME(InvalidErrorMode); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidNormForm { std::string got; KELRAD_VARIANT_NAME(InvalidNormForm); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidPipelineNormForm { std::string got; KELRAD_VARIANT_NAME(InvalidPipelineNormForm); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidEmojiStyle { std::string got; KELRAD_VARIANT_NAME(InvalidEmojiStyle); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidPlatform { std::string got; KELRAD_VARIANT_NAME(InvalidPlatform); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidTargetScript { std::string got; KELRAD_VARIANT_NAME(InvalidTargetScript); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidDigitPolicy { std::string got; KELRAD_VARIANT_NAME(InvalidDigitPolicy); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidKeyForm { std::string got; KELRAD_VARIANT_NAME(InvalidKeyForm); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidScheme { std::string got; KELRAD_VARIANT_NAME(InvalidScheme); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidUrlComponent { std::string got; KELRAD_VARIANT_NAME(InvalidUrlComponent); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidReverseLang { std::string got; KELRAD_VARIANT_NAME(InvalidReverseLang); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct UnknownProfile { std::string got; std::string available; KELRAD_VARIANT_NAME(UnknownProfile); static constexpr std::array<std::string_view, 2> kFields{"got", "available"}; auto fields() const { return std::tie(got, available); } };
struct UnknownLangInfo { std::string got; KELRAD_VARIANT_NAME(UnknownLangInfo); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct UnknownScript { std::string got; KELRAD_VARIANT_NAME(UnknownScript); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct UnknownLang { std::string got; std::string suggestion; std::string valid; KELRAD_VARIANT_NAME(UnknownLang); static constexpr std::array<std::string_view, 3> kFields{"got", "suggestion", "valid"}; auto fields() const { return std::tie(got, suggestion, valid); } };
struct MutuallyExclusiveBare { KELRAD_VARIANT_NAME(MutuallyExclusiveBare); static constexpr std::array<std::string_view, 0> kFields{}; auto fields() const { return std::tie(); } };
struct MutuallyExclusivePipeline { KELRAD_VARIANT_NAME(MutuallyExclusivePipeline); static constexpr std::array<std::string_view, 0> kFields{}; auto fields() const { return std::tie(); } };
struct DigitPolicyWithoutConfusables { std::string policy; std::string pipeline; KELRAD_VARIANT_NAME(DigitPolicyWithoutConfusables); static constexpr std::array<std::string_view, 2> kFields{"policy", "pipeline"}; auto fields() const { return std::tie(policy, pipeline); } };
struct BatchTooLarge { std::uint64_t len; std::uint64_t max; KELRAD_VARIANT_NAME(BatchTooLarge); static constexpr std::array<std::string_view, 2> kFields{"len", "max"}; auto fields() const { return std::tie(len, max); } };
struct ReplacementOutputTooLarge { std::uint64_t size; std::uint64_t max; KELRAD_VARIANT_NAME(ReplacementOutputTooLarge); static constexpr std::array<std::string_view, 2> kFields{"size", "max"}; auto fields() const { return std::tie(size, max); } };
struct NormalizeOutputTooLarge { std::uint64_t input; std::uint64_t size; std::uint64_t max; KELRAD_VARIANT_NAME(NormalizeOutputTooLarge); static constexpr std::array<std::string_view, 3> kFields{"input", "size", "max"}; auto fields() const { return std::tie(input, size, max); } };
struct Sealed { std::string op; KELRAD_VARIANT_NAME(Sealed); static constexpr std::array<std::string_view, 1> kFields{"op"}; auto fields() const { return std::tie(op); } };
struct RegisterLangLimit { std::uint64_t max; KELRAD_VARIANT_NAME(RegisterLangLimit); static constexpr std::array<std::string_view, 1> kFields{"max"}; auto fields() const { return std::tie(max); } };
struct RegisterLangBadKeys { std::string keys; KELRAD_VARIANT_NAME(RegisterLangBadKeys); static constexpr std::array<std::string_view, 1> kFields{"keys"}; auto fields() const { return std::tie(keys); } };
struct RegisterReplacementsLimit { std::uint64_t max; std::uint64_t projected; KELRAD_VARIANT_NAME(RegisterReplacementsLimit); static constexpr std::array<std::string_view, 2> kFields{"max", "projected"}; auto fields() const { return std::tie(max, projected); } };
struct ContextDictNotFound { std::string lang; KELRAD_VARIANT_NAME(ContextDictNotFound); static constexpr std::array<std::string_view, 1> kFields{"lang"}; auto fields() const { return std::tie(lang); } };
struct ContextDictCorrupt { std::string lang; std::string reason; KELRAD_VARIANT_NAME(ContextDictCorrupt); static constexpr std::array<std::string_view, 2> kFields{"lang", "reason"}; auto fields() const { return std::tie(lang, reason); } };
struct RegexTooLong { std::uint64_t len; std::uint64_t max; KELRAD_VARIANT_NAME(RegexTooLong); static constexpr std::array<std::string_view, 2> kFields{"len", "max"}; auto fields() const { return std::tie(len, max); } };
struct RegexCompile { std::string pattern; RegexError source; KELRAD_VARIANT_NAME(RegexCompile); static constexpr std::array<std::string_view, 2> kFields{"pattern", "source"}; auto fields() const { return std::tie(pattern, source); } };
struct UniqueSlugAttemptsExceeded { std::uint64_t max; std::string text; KELRAD_VARIANT_NAME(UniqueSlugAttemptsExceeded); static constexpr std::array<std::string_view, 2> kFields{"max", "text"}; auto fields() const { return std::tie(max, text); } };
struct UniqueSlugMaxLengthTooSmall { std::uint64_t max_length; std::string separator; std::uint64_t min_unique_len; KELRAD_VARIANT_NAME(UniqueSlugMaxLengthTooSmall); static constexpr std::array<std::string_view, 3> kFields{"max_length", "separator", "min_unique_len"}; auto fields() const { return std::tie(max_length, separator, min_unique_len); } };
struct UnknownEncoding { std::string got; std::string suggestion; KELRAD_VARIANT_NAME(UnknownEncoding); static constexpr std::array<std::string_view, 2> kFields{"got", "suggestion"}; auto fields() const { return std::tie(got, suggestion); } };
struct UnsupportedAutoEncoding { std::string got; KELRAD_VARIANT_NAME(UnsupportedAutoEncoding); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct EncodingConfidenceTooLow { double confidence; double min_confidence; std::string guess; KELRAD_VARIANT_NAME(EncodingConfidenceTooLow); static constexpr std::array<std::string_view, 3> kFields{"confidence", "min_confidence", "guess"}; auto fields() const { return std::tie(confidence, min_confidence, guess); } };
struct MinConfidenceOutOfRange { double min_confidence; KELRAD_VARIANT_NAME(MinConfidenceOutOfRange); static constexpr std::array<std::string_view, 1> kFields{"min_confidence"}; auto fields() const { return std::tie(min_confidence); } };
struct ReverseUnsupportedLang { std::string lang; std::string available; KELRAD_VARIANT_NAME(ReverseUnsupportedLang); static constexpr std::array<std::string_view, 2> kFields{"lang", "available"}; auto fields() const { return std::tie(lang, available); } };
struct Untranslatable { char32_t ch; std::uint64_t byte_offset; KELRAD_VARIANT_NAME(Untranslatable); static constexpr std::array<std::string_view, 2> kFields{"ch", "byte_offset"}; auto fields() const { return std::tie(ch, byte_offset); } };
struct LossyDecode { std::string encoding; KELRAD_VARIANT_NAME(LossyDecode); static constexpr std::array<std::string_view, 1> kFields{"encoding"}; auto fields() const { return std::tie(encoding); } };
struct LangTargetExclusive { KELRAD_VARIANT_NAME(LangTargetExclusive); static constexpr std::array<std::string_view, 0> kFields{}; auto fields() const { return std::tie(); } };
struct ContextTargetExclusive { KELRAD_VARIANT_NAME(ContextTargetExclusive); static constexpr std::array<std::string_view, 0> kFields{}; auto fields() const { return std::tie(); } };
struct TonesWithContext { KELRAD_VARIANT_NAME(TonesWithContext); static constexpr std::array<std::string_view, 0> kFields{}; auto fields() const { return std::tie(); } };
struct StrictWithContext { KELRAD_VARIANT_NAME(StrictWithContext); static constexpr std::array<std::string_view, 0> kFields{}; auto fields() const { return std::tie(); } };
struct ForwardOnlyWithTarget { std::string names; KELRAD_VARIANT_NAME(ForwardOnlyWithTarget); static constexpr std::array<std::string_view, 1> kFields{"names"}; auto fields() const { return std::tie(names); } };
struct NegativeMaxLength { std::int64_t got; KELRAD_VARIANT_NAME(NegativeMaxLength); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct NegativeMaxGraphemes { std::int64_t got; KELRAD_VARIANT_NAME(NegativeMaxGraphemes); static constexpr std::array<std::string_view, 1> kFields{"got"}; auto fields() const { return std::tie(got); } };
struct InvalidLogReplacement { std::uint32_t codepoint; KELRAD_VARIANT_NAME(InvalidLogReplacement); static constexpr std::array<std::string_view, 1> kFields{"codepoint"}; auto fields() const { return std::tie(codepoint); } };
struct InvalidFilenameSeparator { std::uint32_t codepoint; KELRAD_VARIANT_NAME(InvalidFilenameSeparator); static constexpr std::array<std::string_view, 1> kFields{"codepoint"}; auto fields() const { return std::tie(codepoint); } };

#undef KELRAD_VARIANT_NAME

}  // namespace error

using CoreError = std::variant<
    error::InvalidErrorMode, error::InvalidNormForm, error::InvalidPipelineNormForm, error::InvalidEmojiStyle,
    error::InvalidPlatform, error::InvalidTargetScript, error::InvalidDigitPolicy, error::InvalidKeyForm,
    error::InvalidScheme, error::InvalidUrlComponent, error::InvalidReverseLang, error::UnknownProfile,
    error::UnknownLangInfo, error::UnknownScript, error::UnknownLang, error::MutuallyExclusiveBare,
    error::MutuallyExclusivePipeline, error::DigitPolicyWithoutConfusables, error::BatchTooLarge,
    error::ReplacementOutputTooLarge, error::NormalizeOutputTooLarge, error::Sealed, error::RegisterLangLimit,
    error::RegisterLangBadKeys, error::RegisterReplacementsLimit, error::ContextDictNotFound,
    error::ContextDictCorrupt, error::RegexTooLong, error::RegexCompile, error::UniqueSlugAttemptsExceeded,
    error::UniqueSlugMaxLengthTooSmall, error::UnknownEncoding, error::UnsupportedAutoEncoding,
    error::EncodingConfidenceTooLow, error::MinConfidenceOutOfRange, error::ReverseUnsupportedLang,
    error::Untranslatable, error::LossyDecode, error::LangTargetExclusive, error::ContextTargetExclusive,
    error::TonesWithContext, error::StrictWithContext, error::ForwardOnlyWithTarget, error::NegativeMaxLength,
    error::NegativeMaxGraphemes, error::InvalidLogReplacement, error::InvalidFilenameSeparator>;

static_assert(std::variant_size_v<CoreError> == 47);

// Shorthand for the error arm of a `std::expected<T, CoreError>`:
// `return fail(error::InvalidNormForm{std::string(form)});`
template <class Variant>
std::unexpected<CoreError> fail(Variant&& v) {
    return std::unexpected<CoreError>(std::in_place, std::forward<Variant>(v));
}

namespace error {

// The four failure classes and the Python class each maps to.
enum class FailureClass : std::uint8_t {
    InvalidArgument,  // InvalidArgumentError
    ResourceLimit,    // ResourceLimitError
    Unsupported,      // UnsupportedError
    Base,             // KelradError itself
};

FailureClass failure_class(const CoreError& e) noexcept;

// The rendered message, byte for byte as callers see it.
std::string message(const CoreError& e);

// How `debug_string` lays out the fields of a variant that has some.
enum class DebugLayout : std::uint8_t {
    OneLine,    // "Name { field: value, field: value }"
    MultiLine,  // "Name {\n    field: value,\n    field: value,\n}": each field on its own line
};

// The variant name and its fields, for internal failure messages only. A
// variant without fields is its bare name in either layout.
std::string debug_string(const CoreError& e, DebugLayout layout = DebugLayout::OneLine);

// The regex engine's message for a `RegexError` (the `__cause__` text).
std::string regex_error_text(const RegexError& e);

// `"text"` with backslash escapes: \t \r \n \0 \" \\, and \u{hex} for every
// character that is not printable or that extends a grapheme.
std::string quoted_debug_literal(std::string_view text);

// `'c'` with the same escapes, escaping the single quote instead of the double.
std::string quoted_char_literal(char32_t ch);

// The same two literals, also writing as \u{hex} every character for which
// `also_escape` holds: for callers whose set of characters that must not
// appear raw is wider than the non-printable ones (a Hangul filler is a
// letter to Unicode, yet shows nothing).
using EscapeSet = bool (*)(char32_t) noexcept;
std::string quoted_debug_literal_with(std::string_view text, EscapeSet also_escape);
std::string quoted_char_literal_with(char32_t ch, EscapeSet also_escape);

// "00E9", "1F600": upper-case hexadecimal, at least four digits.
std::string codepoint_hex(char32_t cp);

// The `suggestion` of UnknownLang and UnknownEncoding: " (did you mean 'x'?)"
// for a candidate, "" for none.
std::string did_you_mean(std::optional<std::string_view> candidate);

}  // namespace error
}  // namespace kelrad
