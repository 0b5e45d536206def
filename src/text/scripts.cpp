#include "text/scripts.hpp"

#include <algorithm>

#include "tables/scripts.hpp"
#include "util/ascii.hpp"
#include "util/ranges.hpp"
#include "util/utf8.hpp"

namespace kelrad::scripts {
namespace {

bool is_assigned(char32_t c) noexcept { return find_range(tables::ASSIGNED_RANGES, c) != nullptr; }

}  // namespace

Script script_of(char32_t c) noexcept {
    if (c < 0x80) return ascii::is_letter(c) ? tables::kLatin : tables::kCommon;
    if (!is_assigned(c)) return tables::kCommon;
    const tables::ScriptRange* row = find_range(tables::SCRIPT_RANGES, c);
    return row != nullptr ? row->name : tables::kCommon;
}

Script effective_script(char32_t c) noexcept {
    Script s = script_of(c);
    if (c < 0x80 || s == tables::kInherited || s == tables::kCommon) return s;
    return find_range(tables::COMMON_SCRIPT_OVERRIDES, c) != nullptr ? tables::kCommon : s;
}

std::optional<std::uint8_t> cjk_class(std::string_view name) noexcept {
    if (name == tables::kHiragana || name == tables::kKatakana) return 1;
    if (name == tables::kHangul) return 2;
    if (name == tables::kBopomofo) return 4;
    if (name == tables::kHan) return 15;
    return std::nullopt;
}

std::vector<Script> detect_scripts(std::string_view text) {
    std::vector<Script> found;
    for (auto [cp, len] : utf8::chars(text)) {
        Script s = effective_script(cp);
        if (s == tables::kCommon || s == tables::kInherited) continue;
        // At most 61 names: a linear search stays linear in the text.
        if (std::find(found.begin(), found.end(), s) == found.end()) found.push_back(s);
    }
    return found;
}

bool MixedScriptRule::add(Script s) noexcept {
    if (s == tables::kCommon || s == tables::kInherited) return false;
    if (std::optional<std::uint8_t> mask = cjk_class(s)) {
        cjk_mask_ &= *mask;
        cjk_seen_ = true;
        return cjk_mask_ == 0 || non_cjk_.has_value();
    }
    if (non_cjk_ && *non_cjk_ != s) return true;
    non_cjk_ = s;
    return cjk_seen_;
}

bool is_mixed_script(std::string_view text) noexcept {
    MixedScriptRule rule;
    for (auto [cp, len] : utf8::chars(text)) {
        if (rule.add(effective_script(cp))) return true;
    }
    return false;
}

bool has_bidi_control(std::string_view text) noexcept {
    for (std::size_t i = utf8::ascii_prefix_len(text); i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        i += len;
        if (is_bidi_control(cp)) return true;
    }
    return false;
}

bool has_bidi_conflict(std::string_view text, bool letters_only) noexcept {
    int previous = -1;  // class of the last strong character, none yet
    for (auto [cp, len] : utf8::chars(text)) {
        int cls;
        if (cp < 0x80) {
            // The only strong ASCII characters are the letters (Bidi_Class L).
            if (!ascii::is_letter(cp)) continue;
            cls = tables::kStrongLeftToRight;
        } else {
            if (letters_only && (cp < 0xAA || find_range(tables::ALPHABETIC, cp) == nullptr)) continue;
            const auto* row = find_range(tables::STRONG_DIRECTION_RANGES, cp);
            if (row == nullptr) continue;
            cls = row->value;
        }
        if (previous >= 0 && cls != previous) return true;
        previous = cls;
    }
    return false;
}

}  // namespace kelrad::scripts
