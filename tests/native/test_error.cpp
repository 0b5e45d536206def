#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "testing.hpp"
#include "text/error.hpp"
#include "text/lock.hpp"
#include "text/warning.hpp"
#include "util/panic.hpp"

using namespace kelrad;
using error::FailureClass;

namespace {

struct MessageCase {
    CoreError error;
    FailureClass cls;
    std::string message;
};

constexpr auto A = FailureClass::InvalidArgument;
constexpr auto R = FailureClass::ResourceLimit;
constexpr auto U = FailureClass::Unsupported;
constexpr auto B = FailureClass::Base;

// At least one case of every variant.
std::vector<MessageCase> message_cases() {
    const std::string ok_slug(80, 'a');
    return {
        {error::InvalidErrorMode{""}, A, "errors must be 'replace', 'ignore', or 'preserve', got ''"},
        {error::InvalidNormForm{"nfc"}, A, "form must be 'NFC', 'NFD', 'NFKC', or 'NFKD', got 'nfc'"},
        {error::InvalidPipelineNormForm{"x"}, A, "normalize must be 'NFC', 'NFD', 'NFKC', or 'NFKD', got 'x'"},
        {error::InvalidEmojiStyle{"x"}, A, "emoji_style must be 'cldr' or 'none', got 'x'"},
        {error::InvalidPlatform{"x"}, A, "platform must be 'universal', 'windows', or 'posix', got 'x'"},
        {error::InvalidTargetScript{"greek"}, A,
         "target_script must be one of 'latin', 'cyrillic', 'arabic', 'hebrew', got 'greek'"},
        {error::InvalidDigitPolicy{"x"}, A, "digit_policy must be 'numeric', 'tr39', or 'preserve', got 'x'"},
        {error::InvalidKeyForm{"x"}, A,
         "key must be 'fold_case', 'search_key', 'catalog_key', 'canonicalize', 'canonicalize_strict', or "
         "'normalize_confusables', got 'x'"},
        {error::InvalidScheme{"x"}, A, "scheme must be 'default', 'strict_iso9', or 'gost7034', got 'x'"},
        {error::InvalidUrlComponent{"x"}, A, "url component must be 'path', 'segment', 'query', or 'form', got 'x'"},
        {error::InvalidReverseLang{"x"}, A, "reverse language must be 'el', 'ru', or 'uk', got 'x'"},
        {error::UnknownProfile{"x", "a, b"}, A, "unknown profile 'x'; available: a, b"},
        {error::UnknownLangInfo{"x"}, A, "unknown language code 'x'"},
        {error::UnknownScript{"x"}, A, "unknown script 'x'"},
        {error::UnknownLang{"DE", "", "de, en"}, A,
         "unknown language code 'DE'; expected 'auto', a BCP-47 alias (nb, nn, da), or one of: de, en"},
        {error::UnknownLang{"DE", " (did you mean 'da'?)", "de"}, A,
         "unknown language code 'DE' (did you mean 'da'?); expected 'auto', a BCP-47 alias (nb, nn, da), or one "
         "of: de"},
        {error::MutuallyExclusiveBare{}, A, "strict_iso9 and gost7034 are mutually exclusive"},
        {error::MutuallyExclusivePipeline{}, A, "strict_iso9 and gost7034 are mutually exclusive"},
        {error::DigitPolicyWithoutConfusables{"tr39", "pipeline 'x'"}, A,
         "digit_policy='tr39' needs a confusables step, and pipeline 'x' has none"},
        {error::BatchTooLarge{100001, 100000}, R, "batch too large (100001 items); maximum is 100000 items"},
        {error::ReplacementOutputTooLarge{11, 10}, R,
         "registered replacements expanded the input to 11 bytes, exceeding the 10 byte limit"},
        {error::NormalizeOutputTooLarge{1, 2, 3}, R,
         "a preset expanded the input from 1 to 2 bytes, more than the 3 bytes of growth it allows"},
        {error::Sealed{"register_lang"}, U,
         "register_lang: registration tables are sealed (seal_registrations() was called); register/remove/clear "
         "are not permitted after sealing"},
        {error::RegisterLangLimit{256}, R,
         "register_lang(): maximum of 256 registered languages reached; re-registering an existing code is still "
         "allowed"},
        {error::RegisterLangBadKeys{"'ab'"}, A,
         "register_lang(): mapping keys must be exactly one Unicode character; invalid keys: 'ab'"},
        {error::RegisterReplacementsLimit{10000, 10001}, R,
         "register_replacements(): table would exceed the maximum of 10000 entries (projected size: 10001); call "
         "clear_replacements() first"},
        {error::ContextDictNotFound{"arabic"}, B,
         "context dictionary for arabic not found; context-aware transliteration needs the prebuilt dictionaries: "
         "run `bash scripts/bootstrap_dicts.sh` (from a source checkout) and set the KELRAD_DICT_DIR environment "
         "variable to the output directory (see docs/user-guide/abjad-transliteration.md)"},
        {error::ContextDictCorrupt{"hebrew", "bad magic"}, B,
         "context dictionary for hebrew is corrupt and could not be loaded: bad magic; rebuild it with `bash "
         "scripts/bootstrap_dicts.sh` (from a source checkout)"},
        {error::RegexTooLong{1025, 1024}, R, "regex_pattern is too long (1025 bytes); maximum is 1024 bytes"},
        {error::RegexCompile{"a\"b\\", {error::RegexError::Kind::Syntax, "missing )", 0}}, A,
         "invalid regex_pattern \"a\\\"b\\\\\": missing )"},
        {error::RegexCompile{"x", {error::RegexError::Kind::TooLarge, "", 1048576}}, A,
         "invalid regex_pattern \"x\": Compiled regex exceeds size limit of 1048576 bytes."},
        {error::UniqueSlugAttemptsExceeded{5, ok_slug}, R, "UniqueSlugifier exceeded 5 attempts for '" + ok_slug + "'"},
        {error::UniqueSlugAttemptsExceeded{5, ok_slug + "b"}, R,
         "UniqueSlugifier exceeded 5 attempts for '" + ok_slug + "\u2026'"},
        // Bytes 80 and 81 are one two-byte character: 79 bytes are kept.
        {error::UniqueSlugAttemptsExceeded{5, std::string(79, 'a') + "\u00e9"}, R,
         "UniqueSlugifier exceeded 5 attempts for '" + std::string(79, 'a') + "\u2026'"},
        {error::UniqueSlugMaxLengthTooSmall{2, "-", 3}, A,
         "max_length=2 is too small to generate a unique slug with separator \"-\": need at least 3 bytes for one "
         "character of the slug, the separator and the counter"},
        {error::UnknownEncoding{"utf9", " (did you mean 'utf8'?)"}, A, "unknown encoding: 'utf9' (did you mean 'utf8'?)"},
        {error::UnsupportedAutoEncoding{"x"}, U, "auto-detected encoding 'x' is not supported"},
        {error::EncodingConfidenceTooLow{0.5, 0.95, "windows-1252"}, B,
         "encoding detection confidence 0.50 is below the required minimum 0.95 (best guess: 'windows-1252'); "
         "provide an explicit encoding instead"},
        {error::MinConfidenceOutOfRange{2.0}, A, "min_confidence must be between 0.0 and 1.0, got 2"},
        {error::MinConfidenceOutOfRange{1.5}, A, "min_confidence must be between 0.0 and 1.0, got 1.5"},
        {error::MinConfidenceOutOfRange{-1.0}, A, "min_confidence must be between 0.0 and 1.0, got -1"},
        {error::MinConfidenceOutOfRange{std::nan("")}, A, "min_confidence must be between 0.0 and 1.0, got NaN"},
        {error::MinConfidenceOutOfRange{std::numeric_limits<double>::infinity()}, A,
         "min_confidence must be between 0.0 and 1.0, got inf"},
        {error::MinConfidenceOutOfRange{-std::numeric_limits<double>::infinity()}, A,
         "min_confidence must be between 0.0 and 1.0, got -inf"},
        {error::ReverseUnsupportedLang{"de", "el, ru, uk"}, U,
         "reverse transliteration not supported for lang 'de'; available: el, ru, uk"},
        {error::Untranslatable{U'\u00e9', 3}, B, "no transliteration for '\u00e9' (U+00E9) at byte offset 3"},
        {error::Untranslatable{U'\u0301', 0}, B, "no transliteration for '\\u{301}' (U+0301) at byte offset 0"},
        {error::Untranslatable{U'\U0001F600', 7}, B, "no transliteration for '\U0001F600' (U+1F600) at byte offset 7"},
        {error::Untranslatable{U'\'', 0}, B, "no transliteration for '\\'' (U+0027) at byte offset 0"},
        {error::Untranslatable{U'"', 0}, B, "no transliteration for '\"' (U+0022) at byte offset 0"},
        {error::LossyDecode{"shift_jis"}, B,
         "decoding as 'shift_jis' replaced malformed or invalid byte sequences (lossy); pass strict=False to accept "
         "the lossy result and inspect had_errors"},
        {error::LangTargetExclusive{}, A, "'lang' and 'target' are mutually exclusive"},
        {error::ContextTargetExclusive{}, A, "'context' and 'target' are mutually exclusive"},
        {error::TonesWithContext{}, A,
         "'tones' cannot be used with 'context' \u2014 context-aware transliteration does not produce toned pinyin"},
        {error::StrictWithContext{}, A,
         "errors='strict' cannot be used with 'context' \u2014 strict mode is only available for context-free "
         "transliteration"},
        {error::ForwardOnlyWithTarget{"errors, tones"}, A,
         "forward-only parameters (errors, tones) cannot be used with 'target'"},
        {error::NegativeMaxLength{-5}, A, "max_length must be non-negative, got -5"},
        {error::NegativeMaxGraphemes{-1}, A, "max_graphemes must be non-negative, got -1"},
        {error::InvalidLogReplacement{0x0A}, A,
         "replacement must not contain a character this call neutralizes (found U+000A)"},
        {error::InvalidFilenameSeparator{0x2F}, A,
         "separator must be ' ' or printable, non-space ASCII with no character that is illegal in a filename and "
         "no path separator (found U+002F)"},
    };
}

// The multi-line debug layout with its line breaks and indentation folded
// back into the one-line layout; a nested value is indented one level deeper.
// Values never hold a raw line feed (literals escape it), so no value can
// match a pattern.
std::string fold_multi_line(std::string text) {
    static constexpr std::pair<std::string_view, std::string_view> kFolds[] = {
        {",\n    )", ")"}, {"(\n        ", "("}, {"{\n    ", "{ "}, {",\n}", " }"}, {",\n    ", ", "},
    };
    for (auto [from, to] : kFolds) {
        for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

}  // namespace

namespace kelrad::error {
std::ostream& operator<<(std::ostream& os, FailureClass c) { return os << static_cast<int>(c); }
}  // namespace kelrad::error

TEST(error_every_variant_message_and_class) {
    bool seen[47] = {};
    for (const auto& c : message_cases()) {
        CHECK_EQ(error::message(c.error), c.message);
        CHECK_EQ(error::failure_class(c.error), c.cls);
        seen[c.error.index()] = true;
    }
    for (bool s : seen) CHECK(s);
}

TEST(error_quoted_literals) {
    CHECK_EQ(error::quoted_debug_literal("-"), "\"-\"");
    CHECK_EQ(error::quoted_debug_literal(std::string_view("a\tb\r\n\0'\"\\", 9)), "\"a\\tb\\r\\n\\0'\\\"\\\\\"");
    // Format controls, separators and combining marks are escaped; the space is not.
    CHECK_EQ(error::quoted_debug_literal("e\u0301 \u200b\u00a0\u2028"), "\"e\\u{301} \\u{200b}\\u{a0}\\u{2028}\"");
    CHECK_EQ(error::quoted_debug_literal("\U000E0041\U0010FFFF\u0378"), "\"\\u{e0041}\\u{10ffff}\\u{378}\"");
    CHECK_EQ(error::quoted_char_literal(U'\\'), "'\\\\'");
    // A Hangul filler is a letter to Unicode: messages keep it; a caller's
    // wider set escapes it, and its own quote and escapes still apply.
    const error::EscapeSet fillers = [](char32_t c) noexcept { return c == 0x3164 || c == U'"'; };
    CHECK_EQ(error::quoted_debug_literal("a\u3164"), "\"a\u3164\"");
    CHECK_EQ(error::quoted_debug_literal_with("a\u3164\u200b\n\"", fillers), "\"a\\u{3164}\\u{200b}\\n\\\"\"");
    CHECK_EQ(error::quoted_char_literal_with(U'\u3164', fillers), "'\\u{3164}'");
    CHECK_EQ(error::codepoint_hex(0x41), "0041");
    CHECK_EQ(error::codepoint_hex(0x10FFFF), "10FFFF");
}

TEST(error_debug_rendering) {
    CHECK_EQ(error::debug_string(error::MutuallyExclusiveBare{}), "MutuallyExclusiveBare");
    CHECK_EQ(error::debug_string(error::BatchTooLarge{3, 2}), "BatchTooLarge { len: 3, max: 2 }");
    CHECK_EQ(error::debug_string(error::Untranslatable{U'\u0301', 1}),
             "Untranslatable { ch: '\\u{301}', byte_offset: 1 }");
    CHECK_EQ(error::debug_string(error::InvalidNormForm{"a\"b"}), "InvalidNormForm { got: \"a\\\"b\" }");
    CHECK_EQ(error::debug_string(error::RegexCompile{"(", {error::RegexError::Kind::TooLarge, "", 9}}),
             "RegexCompile { pattern: \"(\", source: CompiledTooBig(9) }");
}

TEST(error_debug_rendering_multi_line) {
    using enum error::DebugLayout;
    struct Case {
        CoreError error;
        std::string_view rendered;
    };
    const Case cases[] = {
        {error::MutuallyExclusiveBare{}, "MutuallyExclusiveBare"},
        {error::RegisterLangLimit{256}, "RegisterLangLimit {\n    max: 256,\n}"},
        {error::BatchTooLarge{3, 2}, "BatchTooLarge {\n    len: 3,\n    max: 2,\n}"},
        // A line feed inside a value is escaped: each field keeps one line.
        {error::Untranslatable{U'\n', 1}, "Untranslatable {\n    ch: '\\n',\n    byte_offset: 1,\n}"},
        {error::UnknownLang{"x\ny", "", "de, en"},
         "UnknownLang {\n    got: \"x\\ny\",\n    suggestion: \"\",\n    valid: \"de, en\",\n}"},
        {error::MinConfidenceOutOfRange{2.0}, "MinConfidenceOutOfRange {\n    min_confidence: 2.0,\n}"},
        {error::RegexCompile{"a(", {error::RegexError::Kind::Syntax, "unclosed group", 0}},
         "RegexCompile {\n    pattern: \"a(\",\n    source: Syntax(\n        \"unclosed group\",\n    ),\n}"},
    };
    for (const auto& c : cases) {
        CHECK_EQ(error::debug_string(c.error, MultiLine), c.rendered);
        CHECK_EQ(error::debug_string(c.error), error::debug_string(c.error, OneLine));
    }
    // Both layouts show the same fields in the same order, for every variant.
    for (const auto& c : message_cases()) {
        const std::string one_line = error::debug_string(c.error, OneLine);
        const std::string multi_line = error::debug_string(c.error, MultiLine);
        CHECK_EQ(fold_multi_line(multi_line), one_line);
        CHECK_EQ(multi_line.find(" { "), std::string::npos);
    }
}

TEST(error_mode_parsing) {
    CHECK(parse_error_mode("replace") == ErrorMode::Replace);
    CHECK(parse_error_mode("ignore") == ErrorMode::Ignore);
    CHECK(parse_error_mode("preserve") == ErrorMode::Preserve);
    for (std::string_view bad : {"Replace", " replace", "strict", ""}) {
        auto r = parse_error_mode(bad);
        CHECK(!r.has_value());
        if (!r) {
            CHECK_EQ(error::message(r.error()),
                     "errors must be 'replace', 'ignore', or 'preserve', got '" + std::string(bad) + "'");
        }
    }
}

TEST(lock_poisoned_by_unwinding_write_guard) {
    sync::RwLock<int> lock("TEST_LOCK");
    (void)warning::take_deferred();
    try {
        auto g = lock.write();
        *g = 7;
        panic("boom");
    } catch (const Panic&) {
    }
    CHECK(lock.is_poisoned());
    CHECK(!warning::has_deferred());
    // Every acquisition that finds the mark reports it once and still works.
    CHECK_EQ(*lock.read(), 7);
    auto first = warning::take_deferred();
    CHECK_EQ(first.size(), 1u);
    if (!first.empty()) CHECK_EQ(first[0], warning::poisoned_lock_message("TEST_LOCK"));
    *lock.write() = 8;
    CHECK_EQ(warning::take_deferred().size(), 1u);

    // A guard released normally leaves the lock clean; a silent lock never warns.
    sync::RwLock<int> clean("CLEAN");
    { auto g = clean.write(); }
    CHECK(!clean.is_poisoned());
    sync::Mutex silent("");
    try {
        auto g = silent.lock();
        panic("boom");
    } catch (const Panic&) {
    }
    CHECK(silent.is_poisoned());
    { auto g = silent.lock(); }
    CHECK(!warning::has_deferred());
}
