// Per-language override maps and the two Cyrillic scheme maps.
//
// They refine the per-code-point tables (tables::lookup_ascii) for one
// language or one romanization scheme, and the transliteration pass consults
// them first: on the default path the override map of `lang`, then the
// registered table of `lang`, then the per-code-point tables; with a scheme
// selected, the scheme map then the per-code-point tables, and no language at
// all. Every value is a static ASCII string; an empty one drops the character.
#pragma once

#include <optional>
#include <string_view>

#include "util/perfect_hash.hpp"

namespace kelrad::transliterate {

// An immutable map from one code point to a static string, laid out at
// compile time as a perfect-hash map: one hash and one key comparison.
using LangOverrideMap = phf::Map<std::string_view>;

// The scheme of the strict_iso9 option: 26 entries, among them U+0429 "Shch",
// U+0425 "H", U+0419 "J", and the hard and soft signs dropped.
extern const LangOverrideMap STRICT_ISO9_MAP;

// The scheme of the gost7034 option: 12 entries, among them U+0425 "X",
// U+0429 "Shh", and the hard and soft signs dropped.
extern const LangOverrideMap GOST7034_MAP;

// The override map that `lang` selects, or nullptr. The comparison is exact
// and case-sensitive: "de" selects the German map, "DE" and "de-AT" nothing.
// The selecting codes are "ja-kunrei" (Kunrei-shiki kana), "de", "sv", "is",
// "et", "fr", "es", "pt", "it", "tr", "nl", "ca", "vi", "el", "bg", "uk", "ru",
// "sr", "ja", "fa", "am", and "no", "nb", "nn", "da", which share one
// Norwegian/Danish map. "auto" selects nothing: the pass resolves it first.
const LangOverrideMap* lang_override_map(std::string_view lang) noexcept;

// The scheme map of the options, or nullptr: strict_iso9 wins over gost7034.
const LangOverrideMap* scheme_map(bool strict_iso9, bool gost7034) noexcept;

// The value for c, or none: the pass then goes on to its next source.
inline std::optional<std::string_view> lookup(const LangOverrideMap& map, char32_t c) noexcept {
    if (const std::string_view* v = map.find(c)) return *v;
    return std::nullopt;
}

}  // namespace kelrad::transliterate
