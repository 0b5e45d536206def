// Scripts of characters and texts, mixed-script and bidirectional tests.
//
// A script is carried as its name ("Latin", "NewTaiLue", "Common"), a view of
// a static string, compared byte for byte. The script table is block-based
// (tables/scripts.hpp): coarse and stable, which is what spoofing tests need.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kelrad::scripts {

using Script = std::string_view;

// The script row holding c; "Latin" for ASCII letters, "Common" for other
// ASCII, unassigned code points and code points in no row.
Script script_of(char32_t c) noexcept;

// script_of, except that the listed punctuation and symbols inside script
// blocks (U+00D7, U+30FC, ...) count as "Common". Every text-level test uses it.
Script effective_script(char32_t c) noexcept;

// The CJK compatibility mask of a script: Hiragana and Katakana 1, Hangul 2,
// Bopomofo 4, Han 15 (Han combines with each of the others, they not with
// each other). Other names have none.
std::optional<std::uint8_t> cjk_class(std::string_view name) noexcept;

// Distinct effective scripts of the text in order of first appearance,
// "Common" and "Inherited" left out.
std::vector<Script> detect_scripts(std::string_view text);

// The mixed-script rule, fed one effective script at a time. CJK scripts
// combine through their masks (an empty mask is mixed); a CJK script with any
// other script is mixed; two different non-CJK scripts are mixed. "Common"
// and "Inherited" are ignored.
class MixedScriptRule {
public:
    // True once the scripts seen so far are mixed.
    bool add(Script s) noexcept;

private:
    std::optional<Script> non_cjk_;
    bool cjk_seen_ = false;
    std::uint8_t cjk_mask_ = 0xFF;
};

bool is_mixed_script(std::string_view text) noexcept;

// The twelve bidirectional controls of UAX #9: U+061C, U+200E, U+200F,
// U+202A-202E, U+2066-2069.
constexpr bool is_bidi_control(char32_t c) noexcept {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// True when the text holds a bidirectional control.
bool has_bidi_control(std::string_view text) noexcept;

// True when the text holds both a strong left-to-right character (Bidi_Class
// L) and a strong right-to-left one (R or AL). With letters_only, only ASCII
// letters and Alphabetic characters from U+00AA up are considered.
bool has_bidi_conflict(std::string_view text, bool letters_only) noexcept;

}  // namespace kelrad::scripts
