#include "text/error.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "tables/debug_escape.hpp"
#include "util/utf8.hpp"

namespace kelrad::error {
namespace {

using enum FailureClass;

// Indexed by the variant's discriminant.
constexpr FailureClass kClassOf[47] = {
    InvalidArgument, InvalidArgument, InvalidArgument, InvalidArgument, InvalidArgument,  // 0-4
    InvalidArgument, InvalidArgument, InvalidArgument, InvalidArgument, InvalidArgument,  // 5-9
    InvalidArgument, InvalidArgument, InvalidArgument, InvalidArgument, InvalidArgument,  // 10-14
    InvalidArgument, InvalidArgument, InvalidArgument, ResourceLimit, ResourceLimit,      // 15-19
    ResourceLimit, Unsupported, ResourceLimit, InvalidArgument, ResourceLimit,            // 20-24
    Base, Base, ResourceLimit, InvalidArgument, ResourceLimit,                            // 25-29
    InvalidArgument, InvalidArgument, Unsupported, Base, InvalidArgument,                 // 30-34
    Unsupported, Base, Base, InvalidArgument, InvalidArgument,                            // 35-39
    InvalidArgument, InvalidArgument, InvalidArgument, InvalidArgument, InvalidArgument,  // 40-44
    InvalidArgument, InvalidArgument,                                                     // 45-46
};

// Unique-slug texts longer than this are cut on a character boundary.
constexpr std::size_t kSlugTextShown = 80;

void append_escaped(std::string& out, char32_t cp, char quote, EscapeSet also_escape) {
    switch (cp) {
        case U'\t': out += "\\t"; return;
        case U'\r': out += "\\r"; return;
        case U'\n': out += "\\n"; return;
        case U'\0': out += "\\0"; return;
        case U'\\': out += "\\\\"; return;
        default: break;
    }
    if (cp == static_cast<char32_t>(quote)) {
        out += '\\';
        out += quote;
        return;
    }
    if (tables::needs_debug_escape(cp) || (also_escape && also_escape(cp))) {
        char buf[16];
        int n = std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(cp));
        out.append(buf, static_cast<std::size_t>(n));
        return;
    }
    utf8::append(out, cp);
}

// Shortest decimal text that reads back to the same double, never in
// exponent form and without a fraction for integral values (2.0 -> "2").
std::string shortest_decimal(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, res.ptr);
}

std::string two_decimals(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%.2f", v);
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string slug_text_shown(std::string_view text) {
    if (text.size() <= kSlugTextShown) return std::string(text);
    std::string out(utf8::truncate_at_boundary(text, kSlugTextShown));
    out += "\u2026";
    return out;
}

std::string cat(std::initializer_list<std::string_view> parts) {
    std::size_t n = 0;
    for (auto p : parts) n += p.size();
    std::string out;
    out.reserve(n);
    for (auto p : parts) out += p;
    return out;
}

std::string dec(std::uint64_t v) { return std::to_string(v); }
std::string dec(std::int64_t v) { return std::to_string(v); }

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

// Debug form of one field value. Only the regex error nests: in the
// multi-line layout its own field goes on a line of its own, indented one
// level deeper than the variant's fields.
void append_debug(std::string& out, const std::string& v, DebugLayout) { out += quoted_debug_literal(v); }
void append_debug(std::string& out, std::uint64_t v, DebugLayout) { out += dec(v); }
void append_debug(std::string& out, std::int64_t v, DebugLayout) { out += dec(v); }
void append_debug(std::string& out, std::uint32_t v, DebugLayout) { out += dec(std::uint64_t{v}); }
void append_debug(std::string& out, char32_t v, DebugLayout) { out += quoted_char_literal(v); }
void append_debug(std::string& out, double v, DebugLayout) {
    std::string s = shortest_decimal(v);
    if (std::isfinite(v) && s.find('.') == std::string::npos) s += ".0";
    out += s;
}
void append_debug(std::string& out, const RegexError& v, DebugLayout layout) {
    const bool syntax = v.kind == RegexError::Kind::Syntax;
    out += syntax ? "Syntax(" : "CompiledTooBig(";
    if (layout == DebugLayout::MultiLine) out += "\n        ";
    out += syntax ? quoted_debug_literal(v.text) : dec(v.limit);
    if (layout == DebugLayout::MultiLine) out += ",\n    ";
    out += ')';
}

}  // namespace

FailureClass failure_class(const CoreError& e) noexcept { return kClassOf[e.index()]; }

std::string codepoint_hex(char32_t cp) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(cp));
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string did_you_mean(std::optional<std::string_view> candidate) {
    if (!candidate) return {};
    return std::string(" (did you mean '").append(*candidate).append("'?)");
}

std::string quoted_debug_literal(std::string_view text) { return quoted_debug_literal_with(text, nullptr); }

std::string quoted_char_literal(char32_t ch) { return quoted_char_literal_with(ch, nullptr); }

std::string quoted_debug_literal_with(std::string_view text, EscapeSet also_escape) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (auto [cp, len] : utf8::chars(text)) append_escaped(out, cp, '"', also_escape);
    out += '"';
    return out;
}

std::string quoted_char_literal_with(char32_t ch, EscapeSet also_escape) {
    std::string out = "'";
    append_escaped(out, ch, '\'', also_escape);
    out += '\'';
    return out;
}

std::string regex_error_text(const RegexError& e) {
    if (e.kind == RegexError::Kind::Syntax) return e.text;
    return cat({"Compiled regex exceeds size limit of ", dec(e.limit), " bytes."});
}

std::string message(const CoreError& e) {
    return std::visit(
        Overloaded{
            [](const InvalidErrorMode& v) {
                return cat({"errors must be 'replace', 'ignore', or 'preserve', got '", v.got, "'"});
            },
            [](const InvalidNormForm& v) {
                return cat({"form must be 'NFC', 'NFD', 'NFKC', or 'NFKD', got '", v.got, "'"});
            },
            [](const InvalidPipelineNormForm& v) {
                return cat({"normalize must be 'NFC', 'NFD', 'NFKC', or 'NFKD', got '", v.got, "'"});
            },
            [](const InvalidEmojiStyle& v) {
                return cat({"emoji_style must be 'cldr' or 'none', got '", v.got, "'"});
            },
            [](const InvalidPlatform& v) {
                return cat({"platform must be 'universal', 'windows', or 'posix', got '", v.got, "'"});
            },
            [](const InvalidTargetScript& v) {
                std::string list;
                for (std::string_view name : {"latin", "cyrillic", "arabic", "hebrew"}) {
                    if (!list.empty()) list += ", ";
                    list += cat({"'", name, "'"});
                }
                return cat({"target_script must be one of ", list, ", got '", v.got, "'"});
            },
            [](const InvalidDigitPolicy& v) {
                return cat({"digit_policy must be 'numeric', 'tr39', or 'preserve', got '", v.got, "'"});
            },
            [](const InvalidKeyForm& v) {
                return cat({"key must be 'fold_case', 'search_key', 'catalog_key', 'canonicalize', "
                            "'canonicalize_strict', or 'normalize_confusables', got '",
                            v.got, "'"});
            },
            [](const InvalidScheme& v) {
                return cat({"scheme must be 'default', 'strict_iso9', or 'gost7034', got '", v.got, "'"});
            },
            [](const InvalidUrlComponent& v) {
                return cat({"url component must be 'path', 'segment', 'query', or 'form', got '", v.got, "'"});
            },
            [](const InvalidReverseLang& v) {
                return cat({"reverse language must be 'el', 'ru', or 'uk', got '", v.got, "'"});
            },
            [](const UnknownProfile& v) {
                return cat({"unknown profile '", v.got, "'; available: ", v.available});
            },
            [](const UnknownLangInfo& v) { return cat({"unknown language code '", v.got, "'"}); },
            [](const UnknownScript& v) { return cat({"unknown script '", v.got, "'"}); },
            [](const UnknownLang& v) {
                return cat({"unknown language code '", v.got, "'", v.suggestion,
                            "; expected 'auto', a BCP-47 alias (nb, nn, da), or one of: ", v.valid});
            },
            [](const MutuallyExclusiveBare&) { return std::string("strict_iso9 and gost7034 are mutually exclusive"); },
            [](const MutuallyExclusivePipeline&) {
                return std::string("strict_iso9 and gost7034 are mutually exclusive");
            },
            [](const DigitPolicyWithoutConfusables& v) {
                return cat({"digit_policy='", v.policy, "' needs a confusables step, and ", v.pipeline, " has none"});
            },
            [](const BatchTooLarge& v) {
                return cat({"batch too large (", dec(v.len), " items); maximum is ", dec(v.max), " items"});
            },
            [](const ReplacementOutputTooLarge& v) {
                return cat({"registered replacements expanded the input to ", dec(v.size), " bytes, exceeding the ",
                            dec(v.max), " byte limit"});
            },
            [](const NormalizeOutputTooLarge& v) {
                return cat({"a preset expanded the input from ", dec(v.input), " to ", dec(v.size),
                            " bytes, more than the ", dec(v.max), " bytes of growth it allows"});
            },
            [](const Sealed& v) {
                return cat({v.op, ": registration tables are sealed (seal_registrations() was called); "
                                  "register/remove/clear are not permitted after sealing"});
            },
            [](const RegisterLangLimit& v) {
                return cat({"register_lang(): maximum of ", dec(v.max),
                            " registered languages reached; re-registering an existing code is still allowed"});
            },
            [](const RegisterLangBadKeys& v) {
                return cat({"register_lang(): mapping keys must be exactly one Unicode character; invalid keys: ",
                            v.keys});
            },
            [](const RegisterReplacementsLimit& v) {
                return cat({"register_replacements(): table would exceed the maximum of ", dec(v.max),
                            " entries (projected size: ", dec(v.projected), "); call clear_replacements() first"});
            },
            [](const ContextDictNotFound& v) {
                return cat({"context dictionary for ", v.lang,
                            " not found; context-aware transliteration needs the prebuilt dictionaries: run `bash "
                            "scripts/bootstrap_dicts.sh` (from a source checkout) and set the KELRAD_DICT_DIR "
                            "environment variable to the output directory (see "
                            "docs/user-guide/abjad-transliteration.md)"});
            },
            [](const ContextDictCorrupt& v) {
                return cat({"context dictionary for ", v.lang, " is corrupt and could not be loaded: ", v.reason,
                            "; rebuild it with `bash scripts/bootstrap_dicts.sh` (from a source checkout)"});
            },
            [](const RegexTooLong& v) {
                return cat({"regex_pattern is too long (", dec(v.len), " bytes); maximum is ", dec(v.max), " bytes"});
            },
            [](const RegexCompile& v) {
                return cat({"invalid regex_pattern ", quoted_debug_literal(v.pattern), ": ",
                            regex_error_text(v.source)});
            },
            [](const UniqueSlugAttemptsExceeded& v) {
                return cat({"UniqueSlugifier exceeded ", dec(v.max), " attempts for '", slug_text_shown(v.text), "'"});
            },
            [](const UniqueSlugMaxLengthTooSmall& v) {
                return cat({"max_length=", dec(v.max_length), " is too small to generate a unique slug with separator ",
                            quoted_debug_literal(v.separator), ": need at least ", dec(v.min_unique_len),
                            " bytes for one character of the slug, the separator and the counter"});
            },
            [](const UnknownEncoding& v) { return cat({"unknown encoding: '", v.got, "'", v.suggestion}); },
            [](const UnsupportedAutoEncoding& v) {
                return cat({"auto-detected encoding '", v.got, "' is not supported"});
            },
            [](const EncodingConfidenceTooLow& v) {
                return cat({"encoding detection confidence ", two_decimals(v.confidence),
                            " is below the required minimum ", two_decimals(v.min_confidence), " (best guess: '",
                            v.guess, "'); provide an explicit encoding instead"});
            },
            [](const MinConfidenceOutOfRange& v) {
                return cat({"min_confidence must be between 0.0 and 1.0, got ", shortest_decimal(v.min_confidence)});
            },
            [](const ReverseUnsupportedLang& v) {
                return cat({"reverse transliteration not supported for lang '", v.lang, "'; available: ", v.available});
            },
            [](const Untranslatable& v) {
                return cat({"no transliteration for ", quoted_char_literal(v.ch), " (U+", codepoint_hex(v.ch),
                            ") at byte offset ", dec(v.byte_offset)});
            },
            [](const LossyDecode& v) {
                return cat({"decoding as '", v.encoding,
                            "' replaced malformed or invalid byte sequences (lossy); pass strict=False to accept the "
                            "lossy result and inspect had_errors"});
            },
            [](const LangTargetExclusive&) { return std::string("'lang' and 'target' are mutually exclusive"); },
            [](const ContextTargetExclusive&) { return std::string("'context' and 'target' are mutually exclusive"); },
            [](const TonesWithContext&) {
                return std::string(
                    "'tones' cannot be used with 'context' \u2014 context-aware transliteration does not produce "
                    "toned pinyin");
            },
            [](const StrictWithContext&) {
                return std::string(
                    "errors='strict' cannot be used with 'context' \u2014 strict mode is only available for "
                    "context-free transliteration");
            },
            [](const ForwardOnlyWithTarget& v) {
                return cat({"forward-only parameters (", v.names, ") cannot be used with 'target'"});
            },
            [](const NegativeMaxLength& v) { return cat({"max_length must be non-negative, got ", dec(v.got)}); },
            [](const NegativeMaxGraphemes& v) {
                return cat({"max_graphemes must be non-negative, got ", dec(v.got)});
            },
            [](const InvalidLogReplacement& v) {
                return cat({"replacement must not contain a character this call neutralizes (found U+",
                            codepoint_hex(v.codepoint), ")"});
            },
            [](const InvalidFilenameSeparator& v) {
                return cat({"separator must be ' ' or printable, non-space ASCII with no character that is illegal in "
                            "a filename and no path separator (found U+",
                            codepoint_hex(v.codepoint), ")"});
            },
        },
        e);
}

std::string debug_string(const CoreError& e, DebugLayout layout) {
    const bool multi_line = layout == DebugLayout::MultiLine;
    return std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            std::string out(V::kName);
            if constexpr (V::kFields.size() > 0) {
                out += multi_line ? " {\n" : " { ";
                std::size_t i = 0;
                auto append_field = [&](const auto& field) {
                    if (multi_line) {
                        out += "    ";
                    } else if (i > 0) {
                        out += ", ";
                    }
                    out += V::kFields[i++];
                    out += ": ";
                    append_debug(out, field, layout);
                    if (multi_line) out += ",\n";
                };
                std::apply([&](const auto&... field) { (append_field(field), ...); }, v.fields());
                out += multi_line ? "}" : " }";
            }
            return out;
        },
        e);
}

}  // namespace kelrad::error
