// The White_Space property (PropList.txt), which separates words for the
// per-word tests and decides where demojize puts a space.
#pragma once

#include <string_view>

#include "util/utf8.hpp"

namespace kelrad {

constexpr bool is_white_space(char32_t cp) noexcept {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

// Calls `visit` with each word of `text`, a non-empty run of characters
// between White_Space characters, in order until it returns true; returns
// whether one did.
template <class Visit>
bool any_word(std::string_view text, Visit&& visit) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        if (is_white_space(cp)) {
            if (i > start && visit(text.substr(start, i - start))) return true;
            start = i + len;
        }
        i += len;
    }
    return start < text.size() && visit(text.substr(start));
}

}  // namespace kelrad
