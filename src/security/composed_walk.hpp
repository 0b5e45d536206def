// The composed characters of a text with their source offsets, for the
// confusable tests and reports.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "text/compose.hpp"
#include "util/utf8.hpp"

namespace kelrad::confusables {

// Calls visit(c, offset) for each character of compose::compose(text) with
// its byte offset in `text`, until visit returns false; ASCII characters are
// visited only with kVisitAscii.
//
// A text is its own composed form up to the first character that can start
// or join a composition (compose::starts_or_joins), so that stretch is
// decoded as written: a character is visited once the next one is known not
// to join it. From the character before the first joining one (the base it
// may join) the composer takes over.
template <bool kVisitAscii, class Visit>
void for_each_composed(std::string_view text, Visit&& visit) {
    const std::size_t n = text.size();
    std::optional<std::size_t> skipped;  // start of an unvisited ASCII character right before i
    std::size_t i = 0;
    auto compose_from = [&](std::size_t base) {
        compose::Composer composer(text.substr(base));
        while (std::optional<compose::Composed> x = composer.next()) {
            if (!kVisitAscii && x->ch < 0x80) continue;
            if (!visit(x->ch, base + x->offset)) return;
        }
    };
    while (i < n) {
        if constexpr (!kVisitAscii) {
            std::size_t ascii = utf8::ascii_prefix_len(text.substr(i));
            if (ascii > 0) {
                i += ascii;
                skipped = i - 1;
                if (i == n) return;
            }
        }
        auto [c, len] = utf8::decode(text, i);
        if (compose::starts_or_joins(c)) return compose_from(skipped.value_or(i));
        const std::size_t next = i + len;
        if (next < n && (static_cast<unsigned char>(text[next]) & 0x80) &&
            compose::starts_or_joins(utf8::decode(text, next).cp)) {
            return compose_from(i);
        }
        if (!visit(c, i)) return;
        skipped.reset();
        i = next;
    }
}

}  // namespace kelrad::confusables
