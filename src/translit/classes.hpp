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
// consonant (Tibetan U+0F90..U+0FBC) is a consonant stacked under the one
// before it: it removes that consonant's inherent vowel, as a virama would,
// and carries its own.
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

// Meaningful for characters of class Brahmic. The nine Indic blocks
// U+0900..U+0D7F share one layout: offsets 0x15..0x39 and 0x58..0x5F are
// consonants (but for the Malayalam fractions U+0D58..U+0D5E), 0x3E..0x4C
// dependent vowel signs, 0x4D the virama. The vowel signs and length marks
// that this layout misses (U+093A, U+0962, U+0CD5...), Sinhala, Tibetan,
// Myanmar, the Philippine scripts, Khmer, Buginese, Tai Tham, Balinese,
// Sundanese, Batak, Javanese, Cham and Meetei Mayek are listed by range;
// anything else is Other.
BrahmicClass brahmic_class(char32_t c) noexcept;

// True at a character that can start or join a composition
// (compose::starts_or_joins): a combining mark, U+16D67 or a leading jamo
// U+1100..U+1112.
bool is_compose_trigger(char32_t c) noexcept;

}  // namespace kelrad::transliterate
