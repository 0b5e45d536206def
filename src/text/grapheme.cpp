#include "text/grapheme.hpp"

#include <cstring>

#include "util/utf8.hpp"

namespace kelrad::grapheme {
namespace {

bool is_ascii_control(unsigned char b) noexcept { return b < 0x20 || b == 0x7F; }

}  // namespace

std::size_t next_boundary(std::string_view text, std::size_t pos) noexcept {
    // ASCII followed by ASCII is one cluster per byte, except CR LF (GB3);
    // an ASCII control is a cluster of its own whatever follows (GB4).
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char b = p[pos];
    std::size_t i = pos + 1;
    if (b < 0x80) {
        if (i == text.size()) return i;
        const unsigned char n = p[i];
        if (n < 0x80) return b == '\r' && n == '\n' ? i + 1 : i;
        if (is_ascii_control(b)) return i;
    }
    Breaker breaker;
    auto [cp, len] = utf8::decode(text, pos);
    breaker.breaks_before(cp);
    for (i = pos + len; i < text.size(); i += len) {
        auto [next, next_len] = utf8::decode(text, i);
        if (breaker.breaks_before(next)) break;
        len = next_len;
    }
    return i;
}

std::size_t count(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    Breaker breaker;
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (p[i] < 0x80) {
            std::size_t run = utf8::ascii_prefix_len(text.substr(i));
            if (run >= 2) {
                // The first byte may join the cluster before it (after a
                // Prepend); every later one starts a cluster, but the LF of
                // a CR LF pair.
                n += breaker.breaks_before(p[i]);
                n += run - 1;
                const char* s = text.data() + i;
                const char* end = s + run;
                for (const char* cr = s; (cr = static_cast<const char*>(std::memchr(cr, '\r', end - cr))) != nullptr;) {
                    if (++cr < end && *cr == '\n') --n;
                }
                breaker.after_ascii(p[i + run - 1]);
                i += run;
                continue;
            }
        }
        auto [cp, len] = utf8::decode(text, i);
        n += breaker.breaks_before(cp);
        i += len;
    }
    return n;
}

}  // namespace kelrad::grapheme
