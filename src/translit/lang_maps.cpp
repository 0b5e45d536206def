#include "translit/lang_maps.hpp"

#include <array>

namespace kelrad::transliterate {

namespace {

using E = phf::Entry<std::string_view>;

template <std::size_t N>
consteval auto make(const E (&entries)[N]) {
    return phf::make_map(std::to_array(entries));
}

// Japanese, Kunrei-shiki: si, zi, ti, di, tu, du, hu for the Hepburn shi, ji,
// chi, ji, tsu, zu, fu, in hiragana and katakana; the small tsu as tu.
constexpr auto kJaKunrei = make({
    {0x3057, "si"}, {0x3058, "zi"}, {0x3061, "ti"}, {0x3062, "di"}, {0x3063, "tu"}, {0x3064, "tu"},
    {0x3065, "du"}, {0x3075, "hu"}, {0x30B7, "si"}, {0x30B8, "zi"}, {0x30C1, "ti"}, {0x30C2, "di"},
    {0x30C3, "tu"}, {0x30C4, "tu"}, {0x30C5, "du"}, {0x30D5, "hu"},
});

// German: umlauts as a following e, capital sharp s as SS.
constexpr auto kDe = make({
    {0x00C4, "Ae"}, {0x00D6, "Oe"}, {0x00DC, "Ue"}, {0x00E4, "ae"}, {0x00F6, "oe"}, {0x00FC, "ue"},
    {0x1E9E, "SS"},
});

// Norwegian and Danish (no, nb, nn, da).
constexpr auto kNoDa = make({
    {0x00C5, "Aa"}, {0x00C6, "Ae"}, {0x00D8, "Oe"}, {0x00E5, "aa"}, {0x00E6, "ae"}, {0x00F8, "oe"},
});

constexpr auto kSv = make({
    {0x00C4, "Ae"}, {0x00D6, "Oe"}, {0x00E4, "ae"}, {0x00F6, "oe"},
});

constexpr auto kIs = make({
    {0x00C6, "Ae"}, {0x00E6, "ae"},
});

constexpr auto kEt = make({
    {0x00C4, "Ae"}, {0x00D6, "Oe"}, {0x00DC, "Ue"}, {0x00E4, "ae"}, {0x00F6, "oe"}, {0x00FC, "ue"},
});

constexpr auto kFr = make({
    {0x00C6, "AE"}, {0x00E6, "ae"}, {0x0152, "OE"}, {0x0153, "oe"},
});

// Spanish: the inverted marks become the plain ones.
constexpr auto kEs = make({
    {0x00A1, "!"}, {0x00BF, "?"},
});

// Portuguese and Italian: the ordinal indicators.
constexpr auto kPt = make({
    {0x00AA, "a"}, {0x00BA, "o"},
});

constexpr auto kIt = make({
    {0x00AA, "a"}, {0x00BA, "o"},
});

constexpr auto kTr = make({
    {0x011E, "G"}, {0x011F, "g"}, {0x0130, "I"}, {0x0131, "i"}, {0x015E, "S"}, {0x015F, "s"},
});

constexpr auto kNl = make({
    {0x0132, "IJ"}, {0x0133, "ij"},
});

// Catalan: the middle dot of l·l is dropped.
constexpr auto kCa = make({
    {0x00B7, ""},
});

constexpr auto kVi = make({
    {0x0110, "D"}, {0x0111, "d"}, {0x01A0, "O"}, {0x01A1, "o"}, {0x01AF, "U"}, {0x01B0, "u"},
});

constexpr auto kEl = make({
    {0x0397, "I"}, {0x03A5, "Y"}, {0x03A7, "Ch"}, {0x03B7, "i"}, {0x03C5, "y"}, {0x03C7, "ch"},
});

constexpr auto kBg = make({
    {0x0429, "Sht"}, {0x042A, "A"}, {0x0449, "sht"}, {0x044A, "a"},
});

constexpr auto kUk = make({
    {0x0404, "Ye"}, {0x0406, "I"}, {0x0407, "I"}, {0x0413, "H"}, {0x0418, "Y"}, {0x042C, "'"}, {0x0433, "h"},
    {0x0438, "y"}, {0x044C, "'"}, {0x0454, "ye"}, {0x0456, "i"}, {0x0457, "i"}, {0x0490, "G"}, {0x0491, "g"},
});

// Russian: the hard sign as a double quote, the soft sign as an apostrophe.
constexpr auto kRu = make({
    {0x0401, "Yo"}, {0x0419, "Y"}, {0x042A, "\""}, {0x042C, "'"}, {0x042D, "E"}, {0x042E, "Yu"}, {0x042F, "Ya"},
    {0x0439, "y"}, {0x044A, "\""}, {0x044C, "'"}, {0x044D, "e"}, {0x044E, "yu"}, {0x044F, "ya"}, {0x0451, "yo"},
});

// Serbian: the Latin alphabet of Serbian without its diacritics.
constexpr auto kSr = make({
    {0x0402, "Dj"}, {0x0408, "J"}, {0x0409, "Lj"}, {0x040A, "Nj"}, {0x040B, "C"}, {0x040F, "Dz"}, {0x0419, "Y"},
    {0x0439, "y"}, {0x0452, "dj"}, {0x0458, "j"}, {0x0459, "lj"}, {0x045A, "nj"}, {0x045B, "c"}, {0x045F, "dz"},
});

// Japanese: the prolonged sound mark is dropped.
constexpr auto kJa = make({
    {0x30FC, ""},
});

// Persian: letters as pronounced in Persian, the harakat as Persian vowels,
// the Extended Arabic-Indic digits.
constexpr auto kFa = make({
    {0x060C, ","}, {0x061B, ";"}, {0x061F, "?"}, {0x0621, "'"}, {0x0622, "a"}, {0x0623, "a"},  {0x0624, "'"},
    {0x0625, "e"}, {0x0626, "'"}, {0x0627, "a"}, {0x0628, "b"}, {0x0629, "e"}, {0x062A, "t"},  {0x062B, "s"},
    {0x062C, "j"}, {0x062D, "h"}, {0x062E, "kh"}, {0x062F, "d"}, {0x0630, "z"}, {0x0631, "r"},  {0x0632, "z"},
    {0x0633, "s"}, {0x0634, "sh"}, {0x0635, "s"}, {0x0636, "z"}, {0x0637, "t"}, {0x0638, "z"},  {0x0639, "'"},
    {0x063A, "gh"}, {0x0641, "f"}, {0x0642, "q"}, {0x0643, "k"}, {0x0644, "l"}, {0x0645, "m"},  {0x0646, "n"},
    {0x0647, "h"}, {0x0648, "v"}, {0x0649, "a"}, {0x064A, "y"}, {0x064E, "a"}, {0x064F, "o"},  {0x0650, "e"},
    {0x0651, ""},  {0x0652, ""},  {0x067E, "p"}, {0x0686, "ch"}, {0x0698, "zh"}, {0x06A9, "k"}, {0x06AF, "g"},
    {0x06C0, "-e"}, {0x06C1, "h"}, {0x06CC, "y"}, {0x06D4, "."}, {0x06F0, "0"}, {0x06F1, "1"}, {0x06F2, "2"},
    {0x06F3, "3"}, {0x06F4, "4"}, {0x06F5, "5"}, {0x06F6, "6"}, {0x06F7, "7"}, {0x06F8, "8"},  {0x06F9, "9"},
});

// Amharic: the pharyngeal series and the tse series.
constexpr auto kAm = make({
    {0x12D0, "'e"}, {0x12D1, "'u"}, {0x12D2, "'i"}, {0x12D3, "'a"}, {0x12D4, "'e"}, {0x12D5, "'e"},
    {0x12D6, "'o"}, {0x1338, "se"}, {0x1339, "su"}, {0x133A, "si"}, {0x133B, "sa"}, {0x133C, "se"},
    {0x133D, "s"},  {0x133E, "so"}, {0x133F, "swa"}, {0x1340, "se"}, {0x1341, "su"}, {0x1342, "si"},
    {0x1343, "sa"}, {0x1344, "se"}, {0x1345, "s"},  {0x1346, "so"}, {0x1347, "swa"},
});

constexpr auto kStrictIso9 = make({
    {0x0401, "Jo"}, {0x0416, "Zh"}, {0x0419, "J"},    {0x0425, "H"},  {0x0426, "C"},  {0x0427, "Ch"}, {0x0428, "Sh"},
    {0x0429, "Shch"}, {0x042A, ""}, {0x042C, ""},     {0x042D, "E"},  {0x042E, "Ju"}, {0x042F, "Ja"}, {0x0436, "zh"},
    {0x0439, "j"},  {0x0445, "h"},  {0x0446, "c"},    {0x0447, "ch"}, {0x0448, "sh"}, {0x0449, "shch"}, {0x044A, ""},
    {0x044C, ""},   {0x044D, "e"},  {0x044E, "ju"},   {0x044F, "ja"}, {0x0451, "jo"},
});

constexpr auto kGost7034 = make({
    {0x0419, "J"}, {0x0425, "X"}, {0x0426, "C"}, {0x0429, "Shh"}, {0x042A, ""}, {0x042C, ""},
    {0x0439, "j"}, {0x0445, "x"}, {0x0446, "c"}, {0x0449, "shh"}, {0x044A, ""}, {0x044C, ""},
});

struct Selection {
    std::string_view lang;
    LangOverrideMap map;
};

constexpr Selection kSelections[] = {
    {"ja-kunrei", kJaKunrei.view()},
    {"de", kDe.view()},
    {"no", kNoDa.view()},
    {"nb", kNoDa.view()},
    {"nn", kNoDa.view()},
    {"da", kNoDa.view()},
    {"sv", kSv.view()},
    {"is", kIs.view()},
    {"et", kEt.view()},
    {"fr", kFr.view()},
    {"es", kEs.view()},
    {"pt", kPt.view()},
    {"it", kIt.view()},
    {"tr", kTr.view()},
    {"nl", kNl.view()},
    {"ca", kCa.view()},
    {"vi", kVi.view()},
    {"el", kEl.view()},
    {"bg", kBg.view()},
    {"uk", kUk.view()},
    {"ru", kRu.view()},
    {"sr", kSr.view()},
    {"ja", kJa.view()},
    {"fa", kFa.view()},
    {"am", kAm.view()},
};

}  // namespace

constinit const LangOverrideMap STRICT_ISO9_MAP = kStrictIso9.view();
constinit const LangOverrideMap GOST7034_MAP = kGost7034.view();

const LangOverrideMap* lang_override_map(std::string_view lang) noexcept {
    for (const Selection& s : kSelections) {
        if (s.lang == lang) return &s.map;
    }
    return nullptr;
}

const LangOverrideMap* scheme_map(bool strict_iso9, bool gost7034) noexcept {
    if (strict_iso9) return &STRICT_ISO9_MAP;
    if (gost7034) return &GOST7034_MAP;
    return nullptr;
}

}  // namespace kelrad::transliterate
