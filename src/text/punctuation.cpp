#include "text/punctuation.hpp"

#include "util/utf8.hpp"

namespace kelrad::punctuation {
namespace {

// The ASCII replacement of a folded character, or an empty view.
std::string_view replacement(char32_t cp) noexcept {
    switch (cp) {
        case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2015: case 0x2212:
            return "-";
        case 0x2018: case 0x2019: case 0x201A: case 0x201B: case 0x2032: case 0x2035:
            return "'";
        case 0x201C: case 0x201D: case 0x201E: case 0x201F: case 0x2033: case 0x2036:
            return "\"";
        case 0x2034: case 0x2037:
            return "'''";
        case 0x2026:
            return "...";
        case 0x00A0: case 0x1680: case 0x202F: case 0x205F: case 0x3000:
            return " ";
        default:
            return (cp >= 0x2000 && cp <= 0x200A) ? " " : "";
    }
}

}  // namespace

bool fold_punctuation(std::string_view text, std::string& out) {
    std::size_t i = utf8::ascii_prefix_len(text);
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (!replacement(cp).empty()) break;
        i += len;
    }
    if (i == text.size()) return false;

    out.clear();
    out.reserve(text.size() + 2);
    out.append(text.substr(0, i));
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        std::string_view r = replacement(cp);
        if (r.empty()) {
            out.append(text.substr(i, len));
        } else {
            out.append(r);
        }
        i += len;
    }
    return true;
}

}  // namespace kelrad::punctuation
