#include "translit/autolang.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "tables/scripts.hpp"
#include "util/utf8.hpp"

namespace kelrad::autolang {
namespace {

struct ScriptDefault {
    std::string_view script;
    std::string_view lang;
};

// Sorted by script name (byte order) for the binary search.
constexpr ScriptDefault kScriptDefaults[] = {
    {"Arabic", "ar"},      {"Armenian", "hy"},   {"Balinese", "ban"},  {"Bamum", "bax"},     {"Bengali", "bn"},
    {"Buginese", "bug"},   {"Cham", "cjm"},      {"Cherokee", "chr"},  {"Coptic", "cop"},    {"Cyrillic", "ru"},
    {"Devanagari", "hi"},  {"Ethiopic", "am"},   {"Georgian", "ka"},   {"Greek", "el"},      {"Gujarati", "gu"},
    {"Gurmukhi", "pa"},    {"Han", "zh"},        {"Hangul", "ko"},     {"Hebrew", "he"},     {"Hiragana", "ja"},
    {"Javanese", "jv"},    {"Kannada", "kn"},    {"Katakana", "ja"},   {"Khmer", "km"},      {"Lao", "lo"},
    {"Lisu", "lis"},       {"Malayalam", "ml"},  {"MeeteiMayek", "mni"}, {"Mongolian", "mn"}, {"Myanmar", "my"},
    {"NKo", "nqo"},        {"NewTaiLue", "khb"}, {"OlChiki", "sat"},   {"Oriya", "or"},      {"Sinhala", "si"},
    {"Sundanese", "su"},   {"Syriac", "syr"},    {"Tagalog", "tl"},    {"TaiLe", "tdd"},     {"TaiTham", "nod"},
    {"Tamil", "ta"},       {"Telugu", "te"},     {"Thaana", "dv"},     {"Thai", "th"},       {"Tibetan", "bo"},
    {"Tifinagh", "tzm"},   {"Vai", "vai"},
};
static_assert(std::size(kScriptDefaults) == 47);

consteval bool sorted_by_script() {
    for (std::size_t i = 1; i < std::size(kScriptDefaults); ++i) {
        if (!(kScriptDefaults[i - 1].script < kScriptDefaults[i].script)) return false;
    }
    return true;
}
static_assert(sorted_by_script());

struct Letter {
    char32_t ch;
    std::string_view lang;
};

constexpr Letter kLatinLetters[] = {
    {0x00DF, "de"}, {0x0130, "tr"}, {0x0131, "tr"}, {0x01A0, "vi"}, {0x01A1, "vi"},
    {0x01AF, "vi"}, {0x01B0, "vi"}, {0x1E9E, "de"},
};

constexpr Letter kArabicLetters[] = {{0x067E, "fa"}, {0x0686, "fa"}, {0x0698, "fa"}, {0x06AF, "fa"}};

constexpr Letter kCyrillicLetters[] = {
    {0x0402, "sr"}, {0x0404, "uk"}, {0x0406, "uk"}, {0x0407, "uk"}, {0x0408, "sr"}, {0x0409, "sr"},
    {0x040A, "sr"}, {0x040B, "sr"}, {0x040F, "sr"}, {0x0452, "sr"}, {0x0454, "uk"}, {0x0456, "uk"},
    {0x0457, "uk"}, {0x0458, "sr"}, {0x0459, "sr"}, {0x045A, "sr"}, {0x045B, "sr"}, {0x045F, "sr"},
    {0x0490, "uk"}, {0x0491, "uk"}, {0x04AE, "mn"}, {0x04AF, "mn"}, {0x04E8, "mn"}, {0x04E9, "mn"},
};

// Only the first characters of a text are searched for a deciding letter.
constexpr std::size_t kDiscriminatorWindow = 2000;

std::span<const Letter> letters_of(std::string_view script) noexcept {
    if (script == tables::kLatin) return kLatinLetters;
    if (script == tables::kArabic) return kArabicLetters;
    if (script == tables::kCyrillic) return kCyrillicLetters;
    return {};
}

bool is_neutral(scripts::Script s) noexcept {
    return s == tables::kLatin || s == tables::kCommon || s == tables::kInherited;
}

}  // namespace

std::string_view reason_name(Reason r) noexcept {
    switch (r) {
        case Reason::NoDetection: return "no_detection";
        case Reason::LatinDiscriminator: return "latin_discriminator";
        case Reason::UnambiguousScript: return "unambiguous_script";
        case Reason::ScriptDefault: return "script_default";
        case Reason::Discriminator: return "discriminator";
    }
    return "no_detection";
}

std::optional<std::string_view> default_lang_for_script(std::string_view script) noexcept {
    auto it = std::lower_bound(std::begin(kScriptDefaults), std::end(kScriptDefaults), script,
                               [](const ScriptDefault& row, std::string_view s) { return row.script < s; });
    if (it == std::end(kScriptDefaults) || it->script != script) return std::nullopt;
    return it->lang;
}

std::optional<Discriminator> discriminate_lang(std::string_view text, std::string_view script) noexcept {
    std::span<const Letter> letters = letters_of(script);
    if (letters.empty()) return std::nullopt;
    // No discriminator lies below U+00DF, so ASCII costs one comparison.
    std::size_t seen = 0;
    for (auto [cp, len] : utf8::chars(text)) {
        if (seen++ == kDiscriminatorWindow) break;
        if (cp < 0xDF) continue;
        auto it = std::lower_bound(letters.begin(), letters.end(), cp,
                                   [](const Letter& l, char32_t c) { return l.ch < c; });
        if (it != letters.end() && it->ch == cp) return Discriminator{it->lang, cp};
    }
    return std::nullopt;
}

AutoLang inspect_auto_lang(std::string_view text) noexcept {
    AutoLang out;
    std::size_t ascii = utf8::ascii_prefix_len(text);
    if (ascii == text.size()) return out;  // ASCII letters are Latin, the rest Common

    for (auto [cp, len] : utf8::chars(text.substr(ascii))) {
        scripts::Script s = scripts::effective_script(cp);
        if (is_neutral(s)) continue;
        out.script = s;
        if (s == tables::kArabic || s == tables::kCyrillic) {
            if (auto hit = discriminate_lang(text, s)) {
                out.reason = Reason::Discriminator;
                out.chosen_lang = hit->lang;
                out.discriminator = hit->ch;
            } else {
                out.reason = Reason::ScriptDefault;
                out.chosen_lang = default_lang_for_script(s);
            }
        } else {
            out.reason = Reason::UnambiguousScript;
            out.chosen_lang = default_lang_for_script(s);
        }
        return out;
    }

    if (auto hit = discriminate_lang(text, tables::kLatin)) {
        out.reason = Reason::LatinDiscriminator;
        out.chosen_lang = hit->lang;
        out.discriminator = hit->ch;
    }
    return out;
}

}  // namespace kelrad::autolang
