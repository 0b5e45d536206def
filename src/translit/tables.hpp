// The default transliteration of one code point: the last source that the
// transliteration pass consults, after the scheme or language override maps
// (lang_maps.hpp) and the registered languages.
//
// All data is constant and generated (src/tables/transliteration.hpp and
// hanzi_pinyin.hpp describe the representations): Hangul syllables and
// compatibility jamo by their own tables, Han characters through a pinyin
// syllable table with an optional toned variant, everything else through a
// two-stage table over the BMP and one map for the supplementary planes.
#pragma once

#include <optional>
#include <string_view>

namespace kelrad::tables {

// The transliteration of c, or none when the tables have no value for it.
//
// A value may be empty: the character is then dropped (combining diacritics,
// viramas, invisible format characters). Values are ASCII, except toned pinyin
// (`tones` set), which carries precomposed accented vowels ("zhōng"). Brahmic
// consonants end in the inherent vowel "a" ("ka"), except the letters that
// spell a syllable, which keep their own vowel (Javanese PA CEREK "re"). The
// engine removes that "a" before a dependent vowel sign, a virama or a medial;
// a medial ends in "a" too and carries the vowel of the whole cluster (Burmese
// MA with medial RA, "mra"). The signs that follow a vowel (Khmer U+17C6 "m",
// like U+0902) do not repeat it. The answer for a code point below U+0080 is
// none: the engine copies ASCII itself.
//
// Lookup order without tones, first matching rule wins:
//   1. U+3400..U+4DBF: the two-stage table;
//   2. U+4E00..U+9FFF: the pinyin syllable, else the two-stage table;
//   3. U+F900..U+FAFF: the two-stage table (which holds the toneless pinyin of
//      the canonical decomposition);
//   4. U+AC00..U+D7A3: the Hangul syllable; U+D7A4..U+D7AF: the two-stage table;
//   5. U+3131..U+3163: the compatibility jamo;
//   6. the rest of the BMP: the two-stage table;
//   7. U+10000 and above: the supplementary map.
// With tones, U+3400..U+9FFF first try the toned map, and U+F900..U+FAFF try
// the toned map, then the toneless syllable, of the first character of their
// canonical decomposition before their own entry; everything else as without.
//
// A lookup costs a few range tests and at most two table reads or one
// perfect-hash probe (three reads for a toned compatibility ideograph).
std::optional<std::string_view> lookup_ascii(char32_t c, bool tones) noexcept;

}  // namespace kelrad::tables
