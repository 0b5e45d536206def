#include "text/scripts.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <vector>

#include "tables/scripts.hpp"
#include "util/ascii.hpp"
#include "util/ranges.hpp"
#include "util/utf8.hpp"

namespace kelrad::scripts {
namespace {

bool is_assigned(char32_t c) noexcept { return find_range(tables::ASSIGNED_RANGES, c) != nullptr; }

bool is_common_override(char32_t c) noexcept { return find_range(tables::COMMON_SCRIPT_OVERRIDES, c) != nullptr; }

// The script of a code point from the range tables: a binary search of the
// assigned ranges, then of the script rows.
Script script_in_ranges(char32_t c) noexcept {
    if (!is_assigned(c)) return tables::kCommon;
    const tables::ScriptRange* row = find_range(tables::SCRIPT_RANGES, c);
    return row != nullptr ? row->name : tables::kCommon;
}

// The answers of the range tables for the BMP, folded into a two-stage index
// the first time one is asked for: two probes instead of about twenty
// dependent ones (the 735 assigned ranges, the 131 script rows, the 34
// overrides), which every character of a host name or a word pays. A cell
// holds the number of the script's name (bits 0 to 6, 0 for "Common") and
// whether the code point is one of the overrides (bit 7). Built in a pass
// over the ranges: 1 KiB of block numbers and 64 bytes per distinct block of
// 64 code points.
class BmpScripts {
public:
    static constexpr std::uint8_t kOverride = 0x80;

    BmpScripts() {
        std::vector<std::uint8_t> cell(0x10000, 0);
        names_.push_back(tables::kCommon);
        for (const tables::ScriptRange& row : tables::SCRIPT_RANGES) {
            if (row.first > 0xFFFF) break;
            auto known = std::find(names_.begin(), names_.end(), row.name);
            if (known == names_.end()) known = names_.insert(names_.end(), row.name);
            const auto number = static_cast<std::uint8_t>(known - names_.begin());
            std::fill(cell.begin() + row.first, cell.begin() + std::min<char32_t>(row.last, 0xFFFF) + 1, number);
        }
        char32_t next = 0;  // the first code point not yet known to be assigned
        for (const CodepointRange& r : tables::ASSIGNED_RANGES) {
            if (r.first > 0xFFFF) break;
            std::fill(cell.begin() + next, cell.begin() + r.first, 0);
            next = r.last + 1;
        }
        if (next <= 0xFFFF) std::fill(cell.begin() + next, cell.end(), 0);
        for (const CodepointRange& r : tables::COMMON_SCRIPT_OVERRIDES) {
            for (char32_t c = r.first; c <= r.last && c <= 0xFFFF; ++c) cell[c] |= kOverride;
        }
        std::map<Block, std::uint16_t> seen;
        for (std::size_t b = 0; b < block_.size(); ++b) {
            Block block;
            std::copy_n(cell.begin() + static_cast<std::ptrdiff_t>(b * 64), 64, block.begin());
            auto [it, added] = seen.try_emplace(block, static_cast<std::uint16_t>(blocks_.size()));
            if (added) blocks_.push_back(block);
            block_[b] = it->second;
        }
    }

    std::uint8_t cell(char32_t c) const noexcept { return blocks_[block_[c >> 6]][c & 63]; }
    Script name(std::uint8_t cell) const noexcept { return names_[cell & ~kOverride]; }

private:
    using Block = std::array<std::uint8_t, 64>;
    std::array<std::uint16_t, 0x10000 / 64> block_{};
    std::vector<Block> blocks_;
    std::vector<Script> names_;
};

const BmpScripts& bmp_scripts() {
    static const BmpScripts index;
    return index;
}

}  // namespace

Script script_of(char32_t c) noexcept {
    if (c < 0x80) return ascii::is_letter(c) ? tables::kLatin : tables::kCommon;
    if (c <= 0xFFFF) {
        const BmpScripts& bmp = bmp_scripts();
        return bmp.name(bmp.cell(c));
    }
    return script_in_ranges(c);
}

Script effective_script(char32_t c) noexcept {
    if (c < 0x80) return script_of(c);
    Script s;
    bool common_override;
    if (c <= 0xFFFF) {
        const BmpScripts& bmp = bmp_scripts();
        const std::uint8_t cell = bmp.cell(c);
        s = bmp.name(cell);
        common_override = (cell & BmpScripts::kOverride) != 0;
    } else {
        s = script_in_ranges(c);
        common_override = is_common_override(c);
    }
    if (s == tables::kInherited || s == tables::kCommon) return s;
    return common_override ? tables::kCommon : s;
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
