#include <optional>
#include <string>
#include <string_view>

#include "testing.hpp"
#include "translit/lang_maps.hpp"

using namespace kelrad::transliterate;
using Value = std::optional<std::string_view>;

namespace {

std::string describe(std::string_view map, char32_t c, Value v) {
    return std::string(map) + " " + testing::cp_name(c) + (v ? " -> \"" + std::string(*v) + "\"" : " -> none");
}

Value in_lang(std::string_view lang, char32_t c) {
    const LangOverrideMap* map = lang_override_map(lang);
    return map ? lookup(*map, c) : std::nullopt;
}

}  // namespace

// One telling entry per map.
TEST(translit_lang_override_maps) {
    const struct {
        std::string_view lang;
        char32_t c;
        Value value;
    } cases[] = {
        {"ja-kunrei", 0x3063, "tu"}, {"ja-kunrei", 0x3064, "tu"}, {"de", 0x00E4, "ae"}, {"de", 0x1E9E, "SS"},
        {"no", 0x00F8, "oe"},        {"nb", 0x00F8, "oe"},        {"nn", 0x00C5, "Aa"}, {"da", 0x00E6, "ae"},
        {"sv", 0x00D6, "Oe"},        {"is", 0x00C6, "Ae"},        {"et", 0x00DC, "Ue"}, {"fr", 0x0152, "OE"},
        {"es", 0x00BF, "?"},         {"pt", 0x00AA, "a"},         {"it", 0x00BA, "o"},  {"tr", 0x0131, "i"},
        {"nl", 0x0133, "ij"},        {"ca", 0x00B7, ""},          {"vi", 0x01B0, "u"},  {"el", 0x03A7, "Ch"},
        {"bg", 0x0429, "Sht"},       {"uk", 0x0413, "H"},         {"ru", 0x042A, "\""}, {"ru", 0x042C, "'"},
        {"sr", 0x0452, "dj"},        {"ja", 0x30FC, ""},          {"fa", 0x06F7, "7"},  {"fa", 0x064F, "o"},
        {"fa", 0x0651, ""},          {"am", 0x1347, "swa"},
        // Characters a map does not hold fall through.
        {"de", 0x00E9, std::nullopt}, {"ru", 0x0416, std::nullopt},
    };
    for (const auto& t : cases) {
        const LangOverrideMap* map = lang_override_map(t.lang);
        CHECK_FOR(t.lang, map != nullptr);
        if (map) CHECK_EQ(describe(t.lang, t.c, lookup(*map, t.c)), describe(t.lang, t.c, t.value));
    }
}

TEST(translit_lang_map_selection) {
    // Exact, case-sensitive codes; no region suffixes; "auto" is resolved before.
    for (std::string_view lang : {"", "DE", "De", "de-AT", "de ", "auto", "en", "zh", "ja-hepburn", "kunrei", "nob"}) {
        CHECK_EQ(std::string(lang) + (lang_override_map(lang) ? " selects a map" : ""), std::string(lang));
    }
    // The four Norwegian and Danish codes share one map.
    const auto* no = lang_override_map("no");
    for (std::string_view lang : {"nb", "nn", "da"}) {
        CHECK(lang_override_map(lang)->entries.data() == no->entries.data());
    }
    // "pt" and "it" have the same contents.
    const auto* pt = lang_override_map("pt");
    const auto* it = lang_override_map("it");
    for (char32_t c : {U'\u00AA', U'\u00BA'}) CHECK(lookup(*pt, c) == lookup(*it, c));
    CHECK_EQ(in_lang("de", 0x00E4).value_or("none"), "ae");
    CHECK_EQ(in_lang("DE", 0x00E4).value_or("none"), "none");
}

TEST(translit_scheme_maps) {
    CHECK(scheme_map(false, false) == nullptr);
    CHECK(scheme_map(true, false) == &STRICT_ISO9_MAP);
    CHECK(scheme_map(false, true) == &GOST7034_MAP);
    CHECK(scheme_map(true, true) == &STRICT_ISO9_MAP);  // strict_iso9 wins
    CHECK_EQ(STRICT_ISO9_MAP.size(), 26u);
    CHECK_EQ(GOST7034_MAP.size(), 12u);
    const struct {
        const LangOverrideMap* map;
        std::string_view name;
        char32_t c;
        Value value;
    } cases[] = {
        {&STRICT_ISO9_MAP, "iso9", 0x0425, "H"},    {&STRICT_ISO9_MAP, "iso9", 0x0429, "Shch"},
        {&STRICT_ISO9_MAP, "iso9", 0x0401, "Jo"},   {&STRICT_ISO9_MAP, "iso9", 0x042A, ""},
        {&STRICT_ISO9_MAP, "iso9", 0x044C, ""},     {&STRICT_ISO9_MAP, "iso9", 0x044F, "ja"},
        {&STRICT_ISO9_MAP, "iso9", 0x0410, std::nullopt},
        {&GOST7034_MAP, "gost", 0x0425, "X"},       {&GOST7034_MAP, "gost", 0x0429, "Shh"},
        {&GOST7034_MAP, "gost", 0x042A, ""},        {&GOST7034_MAP, "gost", 0x044C, ""},
        {&GOST7034_MAP, "gost", 0x0439, "j"},       {&GOST7034_MAP, "gost", 0x0416, std::nullopt},
    };
    for (const auto& t : cases) CHECK_EQ(describe(t.name, t.c, lookup(*t.map, t.c)), describe(t.name, t.c, t.value));
}

// A probe for an absent key never finds a stored entry of another key.
TEST(translit_lang_maps_reject_absent_keys) {
    const LangOverrideMap* fa = lang_override_map("fa");
    std::size_t found = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) found += lookup(*fa, c).has_value();
    CHECK_EQ(found, fa->size());
}
