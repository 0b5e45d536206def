// Forward transliteration of Unicode text to ASCII.
//
// The road of one call, outermost first:
//   transliterate         the global replacements (replacements.hpp), then
//   transliterate_checked the errors policy, strict mode included, then
//   transliterate_engine  pure ASCII handed back as is; otherwise one walk
//                         over the canonically composed text (composition
//                         beyond NFC, compose.hpp), reporting offsets and
//                         characters of the caller's text. The walk composes
//                         each unit that composition would change where it
//                         meets it; with "auto" or in strict mode it stops at
//                         the first such character instead, and the whole
//                         text is composed and walked again.
// A pass looks each character up in the scheme or language override map
// (lang_maps.hpp), then the registered table of the language (langs.hpp), then
// the per-code-point tables (tables.hpp); a character that none of them knows
// is tried through its NFKC form before the errors policy applies.
//
// Presets, pipelines, slugs and file names call transliterate_engine directly:
// they apply no global replacements and never run in strict mode.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/error.hpp"
#include "text/warning.hpp"

namespace kelrad::transliterate {

// The errors value of strict mode, in the same byte as ErrorMode. Only
// transliterate and transliterate_checked accept it; the engine treats every
// value other than Replace and Ignore as Preserve.
inline constexpr ErrorMode ERRORS_STRICT = static_cast<ErrorMode>(255);

struct TransliterateOptions {
    // No language: the per-code-point tables only. "auto": the automatic
    // choice of autolang.hpp for the text. Any other code selects its override
    // map and registered table by exact bytes; the engine never rejects one
    // (callers validate it with resolve_lang first).
    std::optional<std::string_view> lang;
    ErrorMode errors = ErrorMode::Replace;
    std::string_view replace_with = "[?]";
    bool strict_iso9 = false;  // wins over gost7034 should both be set
    bool gost7034 = false;
    bool tones = false;  // toned pinyin: the output is then not pure ASCII
};

// A character left without a transliteration and its byte offset in the text
// given to the engine.
struct UntranslatableHit {
    char32_t ch;
    std::uint64_t byte_offset;

    bool operator==(const UntranslatableHit&) const = default;
};

struct UntranslatableCollector {
    std::vector<UntranslatableHit> hits;  // appended to, in text order
    bool stop_at_first = false;           // end the walk at the first hit
};

// The engine. Returns false exactly when the text is pure ASCII: the caller
// keeps its input, and no table, language or option is consulted. Otherwise
// `out` is emptied and receives the transliteration (true), even when it
// equals the text. Never fails.
bool transliterate_engine(std::string_view text, const TransliterateOptions& options, std::string& out,
                          UntranslatableCollector* collector = nullptr);

// The engine with the errors policy. Under ERRORS_STRICT the first
// untranslatable character is `Untranslatable`, and the result is always
// written to `out` (true), unchanged ASCII included. Otherwise as the engine.
std::expected<bool, CoreError> transliterate_checked(std::string_view text, const TransliterateOptions& options,
                                                     std::string& out);

// The full forward transliteration: the global replacements, then
// transliterate_checked. False: the text comes back unchanged and `out` is
// unspecified; true: `out` holds the result.
std::expected<bool, CoreError> transliterate(std::string_view text, const TransliterateOptions& options,
                                             std::string& out);

// Every character the engine leaves untranslatable, with its offset in the
// text after the global replacements (errors Ignore, no replacement text).
// `options.errors` and `options.replace_with` are not used.
std::expected<std::vector<UntranslatableHit>, CoreError> find_untranslatable(std::string_view text,
                                                                             const TransliterateOptions& options);

}  // namespace kelrad::transliterate
