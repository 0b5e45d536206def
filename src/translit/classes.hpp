// Coarse character classes that drive the transliteration pass: spacing
// between CJK syllables (ScriptClass), removal of the Brahmic inherent vowel
// (BrahmicClass), and the characters that send a pass to the composing walk
// (the compose trigger). Pure functions of the code point over constant data.
#pragma once

#include <cstdint>

namespace kelrad::transliterate {

// The class of a unit of output. script_class yields Han, Hangul, Kana,
// Brahmic or Other; None (nothing appended yet) and Ascii (an ASCII run or the
// output of an NFKC recovery) are states of the pass, never answers.
enum class ScriptClass : std::uint8_t { None = 0, Han = 1, Hangul = 2, Kana = 3, Ascii = 4, Brahmic = 5, Other = 6 };

// The role of a Brahmic character for the inherent-vowel rule. A subjoined
// or medial consonant (Tibetan KA with subjoined RA, Burmese medial RA) joins
// the consonant before it into one cluster: it removes that consonant's
// inherent vowel, as a virama would, and carries the cluster's.
enum class BrahmicClass : std::uint8_t {
    Other = 0,
    Consonant = 1,
    DependentVowelSign = 2,
    Virama = 3,
    SubjoinedConsonant = 4,
};

// Han: U+3400..U+4DBF, U+4E00..U+9FFF, U+F900..U+FAFF. Hangul: U+3131..U+3163,
// U+AC00..U+D7AF (the conjoining jamo U+1100..U+11FF are Other). Kana:
// U+3040..U+30FF, U+FF65..U+FF9F. Brahmic: U+0900..U+0DFF, U+0F00..U+109F,
// U+1700..U+17FF, U+1A00..U+1AAF, U+1B00..U+1BFF, U+A980..U+A9DF,
// U+AA00..U+AA5F, U+AAE0..U+AAFF, U+ABC0..U+ABFF (Thai and Lao are Other).
// Everything else, ASCII included, is Other.
ScriptClass script_class(char32_t c) noexcept;

// Meaningful for characters of class Brahmic; anything else is Other. The
// roles are those of Unicode's Indic_Syllabic_Category: consonants, dependent
// vowels, viramas and the other vowel killers, medial and subjoined
// consonants; independent vowels and final consonants are Other. The vowel
// carriers (MEETEI MAYEK LETTER ATIYA: "\uabd1\uabe3" is "o") act as consonants
// (tables/brahmic_roles.hpp).
BrahmicClass brahmic_class(char32_t c) noexcept;

// True at a character that can start or join a composition
// (compose::starts_or_joins): a combining mark, U+16D67 or a leading jamo
// U+1100..U+1112.
bool is_compose_trigger(char32_t c) noexcept;

}  // namespace kelrad::transliterate
