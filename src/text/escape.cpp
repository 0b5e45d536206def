#include "text/escape.hpp"

#include <array>
#include <cstdint>

#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::escape {
namespace {

constexpr std::array<bool, 256> kHtmlSpecial = [] {
    std::array<bool, 256> t{};
    for (unsigned char c : {'&', '<', '>', '"', '\''}) t[c] = true;
    return t;
}();

std::size_t next_html_special(std::string_view text, std::size_t i) noexcept {
    while (i < text.size() && !kHtmlSpecial[static_cast<unsigned char>(text[i])]) ++i;
    return i;
}

std::string_view html_entity(char c) noexcept {
    switch (c) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '"': return "&quot;";
        case '\'': return "&#x27;";
        default: return {};
    }
}

// Whether the character starting at p[i] is neutralized. They are the ASCII
// bytes below 0x20 and 0x7F, C2 80-9F (the C1 controls) and E2 80 A8-A9 (the
// separators), so only those bytes need a closer look.
bool neutralized_at(const unsigned char* p, std::size_t i, bool keep_tab) noexcept {
    const unsigned char b = p[i];
    if (b < 0x20) return !(keep_tab && b == 0x09);
    if (b == 0x7F) return true;
    if (b == 0xC2) return p[i + 1] <= 0x9F;
    return b == 0xE2 && p[i + 1] == 0x80 && (p[i + 2] == 0xA8 || p[i + 2] == 0xA9);
}

// Offset of the first neutralized character at or after `i`, or the size.
std::size_t next_neutralized(std::string_view text, std::size_t i, bool keep_tab) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (; i + 8 <= text.size(); i += 8) {
        const std::uint64_t w = swar::load(p + i);
        std::uint64_t marks = swar::bytes_below(w, 0x20) | swar::bytes_equal(w, 0x7F) | swar::bytes_equal(w, 0xC2) |
                              swar::bytes_equal(w, 0xE2);
        for (; marks != 0; marks &= marks - 1) {
            const std::size_t j = i + swar::first_marked(marks);
            if (neutralized_at(p, j, keep_tab)) return j;
        }
    }
    for (; i < text.size(); ++i) {
        if (neutralized_at(p, i, keep_tab)) return i;
    }
    return text.size();
}

}  // namespace

bool escape_html(std::string_view text, std::string& out) {
    std::size_t i = next_html_special(text, 0);
    if (i == text.size()) return false;
    out.clear();
    out.reserve(text.size() + 16);
    std::size_t kept = 0;
    while (i < text.size()) {
        out.append(text.data() + kept, i - kept);
        out.append(html_entity(text[i]));
        kept = i + 1;
        i = next_html_special(text, kept);
    }
    out.append(text.data() + kept, text.size() - kept);
    return true;
}

std::expected<bool, CoreError> strip_log_injection(std::string_view text, std::string_view replacement,
                                                   bool keep_tab, std::string& out) {
    for (auto [cp, len] : utf8::chars(replacement)) {
        if (is_log_neutralized(cp, keep_tab)) return fail(error::InvalidLogReplacement{cp});
    }
    std::size_t i = next_neutralized(text, 0, keep_tab);
    if (i == text.size()) return false;
    out.clear();
    out.reserve(text.size());
    std::size_t kept = 0;
    while (i < text.size()) {
        out.append(text.data() + kept, i - kept);
        out.append(replacement);
        kept = i + utf8::decode(text, i).len;
        i = next_neutralized(text, kept, keep_tab);
    }
    out.append(text.data() + kept, text.size() - kept);
    return true;
}

}  // namespace kelrad::escape
