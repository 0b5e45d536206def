#include "text/grapheme.hpp"

#include <cstdint>
#include <cstring>

#include "tables/grapheme.hpp"
#include "util/utf8.hpp"

namespace kelrad::grapheme {
namespace {

using tables::GraphemeBreak;

struct Props {
    GraphemeBreak gcb;
    bool pictographic;
    std::uint8_t conjunct;  // Indic_Conjunct_Break: tables::kConjunct* or 0
};

Props props_of(char32_t cp) noexcept {
    std::uint8_t p = tables::grapheme_props(cp);
    return {static_cast<GraphemeBreak>(p & tables::kGraphemeBreakMask), (p & tables::kExtendedPictographic) != 0,
            static_cast<std::uint8_t>(p >> tables::kConjunctShift)};
}

bool is_control(GraphemeBreak b) noexcept {
    return b == GraphemeBreak::Control || b == GraphemeBreak::CR || b == GraphemeBreak::LF;
}

// GB6-GB8: Hangul syllable sequences.
bool joins_hangul(GraphemeBreak prev, GraphemeBreak cur) noexcept {
    using enum GraphemeBreak;
    switch (prev) {
        case L: return cur == L || cur == V || cur == LV || cur == LVT;
        case LV:
        case V: return cur == V || cur == T;
        case LVT:
        case T: return cur == T;
        default: return false;
    }
}

// The context that the rules with a left side longer than one character
// need, carried along the cluster.
struct Context {
    // GB11: \p{ExtPict} Extend* ZWJ x \p{ExtPict}.
    enum class Emoji : std::uint8_t { None, Pictograph, Joined } emoji = Emoji::None;
    // GB9c: Consonant [Extend Linker]* Linker [Extend Linker]* x Consonant.
    enum class Conjunct : std::uint8_t { None, Consonant, Linked } conjunct = Conjunct::None;
    // GB12, GB13: the number of regional indicators just before, mod 2.
    bool odd_regional = false;

    void update(const Props& p) noexcept {
        if (p.pictographic) {
            emoji = Emoji::Pictograph;
        } else if (emoji == Emoji::Pictograph && p.gcb == GraphemeBreak::ZWJ) {
            emoji = Emoji::Joined;
        } else if (emoji != Emoji::Pictograph || p.gcb != GraphemeBreak::Extend) {
            emoji = Emoji::None;
        }

        if (p.conjunct == tables::kConjunctConsonant) {
            conjunct = Conjunct::Consonant;
        } else if (p.conjunct == tables::kConjunctLinker && conjunct != Conjunct::None) {
            conjunct = Conjunct::Linked;
        } else if (p.conjunct != tables::kConjunctExtend) {
            conjunct = Conjunct::None;
        }

        odd_regional = p.gcb == GraphemeBreak::RegionalIndicator && !odd_regional;
    }
};

// Whether the rules keep `cur` in the cluster whose last character has
// property `prev` (GB3-GB13; GB1, GB2 are the text's ends).
bool joins(GraphemeBreak prev, const Props& cur, const Context& ctx) noexcept {
    using enum GraphemeBreak;
    if (prev == CR) return cur.gcb == LF;                   // GB3, GB4
    if (prev == LF || prev == Control) return false;        // GB4
    if (is_control(cur.gcb)) return false;                  // GB5
    if (joins_hangul(prev, cur.gcb)) return true;           // GB6-GB8
    if (cur.gcb == Extend || cur.gcb == ZWJ) return true;   // GB9
    if (cur.gcb == SpacingMark) return true;                // GB9a
    if (prev == Prepend) return true;                       // GB9b
    if (cur.conjunct == tables::kConjunctConsonant && ctx.conjunct == Context::Conjunct::Linked) {
        return true;                                        // GB9c
    }
    if (cur.pictographic && ctx.emoji == Context::Emoji::Joined) return true;  // GB11
    return prev == RegionalIndicator && cur.gcb == RegionalIndicator && ctx.odd_regional;  // GB12, GB13
}

std::size_t next_boundary_slow(std::string_view text, std::size_t pos) noexcept {
    auto [cp, len] = utf8::decode(text, pos);
    Props prev = props_of(cp);
    Context ctx;
    ctx.update(prev);
    std::size_t i = pos + len;
    while (i < text.size()) {
        auto [next, next_len] = utf8::decode(text, i);
        Props cur = props_of(next);
        if (!joins(prev.gcb, cur, ctx)) break;
        ctx.update(cur);
        prev = cur;
        i += next_len;
    }
    return i;
}

bool is_ascii_control(unsigned char b) noexcept { return b < 0x20 || b == 0x7F; }

}  // namespace

std::size_t next_boundary(std::string_view text, std::size_t pos) noexcept {
    // ASCII followed by ASCII is one cluster per byte, except CR LF (GB3);
    // an ASCII control is a cluster of its own whatever follows (GB4).
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    unsigned char b = p[pos];
    if (b < 0x80) {
        std::size_t next = pos + 1;
        if (next == text.size()) return next;
        unsigned char n = p[next];
        if (n < 0x80) return b == '\r' && n == '\n' ? next + 1 : next;
        if (is_ascii_control(b)) return next;
    }
    return next_boundary_slow(text, pos);
}

std::size_t count(std::string_view text) noexcept {
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t run = utf8::ascii_prefix_len(text.substr(i));
        if (run == 0) {
            ++n;
            i = next_boundary(text, i);
            continue;
        }
        // Inside an ASCII run every byte starts a cluster but the LF of a
        // CR LF pair. The run's last character may take the non-ASCII marks
        // that follow it into its cluster, so the scan resumes at its end.
        const char* s = text.data() + i;
        const char* end = s + run;
        n += run;
        for (const char* cr = s; (cr = static_cast<const char*>(std::memchr(cr, '\r', end - cr))) != nullptr;) {
            if (++cr < end && *cr == '\n') --n;
        }
        i += run;
        if (i < text.size()) i = next_boundary(text, i - 1);
    }
    return n;
}

}  // namespace kelrad::grapheme
