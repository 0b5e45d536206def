#include "text/width.hpp"

#include "tables/width.hpp"
#include "text/emoji.hpp"
#include "text/grapheme.hpp"
#include "util/utf8.hpp"

namespace kelrad::width {
namespace {

std::uint64_t class_width(unsigned cls, bool ambiguous_wide) noexcept {
    switch (cls) {
        case 0: return 0;
        case 2: return 2;
        case 3: return ambiguous_wide ? 2 : 1;
        default: return 1;
    }
}

// The width of one cluster, taken a code point at a time: `start` with its
// first, `add` each further one, `finish` for the width. The base is the
// first character after any prepended concatenation marks (Arabic number
// sign, end of ayah, ...), which stand before the number they enclose.
class ClusterWidth {
public:
    void start(char32_t cp) noexcept {
        base_ = cp;
        props_ = tables::width_props(cp);
        has_base_ = !(props_ & tables::kWidthPrepended);
        tail_ = 0;
    }

    void add(char32_t cp) noexcept {
        if (!has_base_) {
            start(cp);
            return;
        }
        tail_ |= kTail | (cp == emoji::kTextSelector ? kTextSelector : 0) |
                 (cp == emoji::kEmojiSelector ? kEmojiSelector : 0) | (cp == emoji::kCombiningKeycap ? kKeycap : 0);
    }

    std::uint64_t finish(bool ambiguous_wide) const noexcept {
        // One character, or prepended marks alone (zero width, like a lone
        // one): the table has the width.
        if (!tail_ || !has_base_) {
            return ((props_ >> tables::kWidthLoneShift) & 3) + (ambiguous_wide && (props_ & tables::kWidthLoneAmbiguous));
        }
        const bool emoji_base = props_ & tables::kWidthEmojiBase;
        const unsigned cls = props_ & tables::kWidthClassMask;
        if (!emoji_base && cls == 0) return 0;
        const bool keycap = (tail_ & kKeycap) && emoji::is_keycap_base(base_);
        if (tail_ & kTextSelector) {
            if (emoji_base) return 1;
        } else if (tail_ & kEmojiSelector) {
            if (emoji_base || keycap || (props_ & tables::kWidthEmoji)) return 2;
        } else if (emoji_base || keycap) {
            return 2;
        }
        return class_width(cls, ambiguous_wide);
    }

private:
    // What follows the base.
    static constexpr std::uint8_t kTail = 1, kTextSelector = 2, kEmojiSelector = 4, kKeycap = 8;

    char32_t base_ = 0;
    std::uint8_t props_ = 0;
    bool has_base_ = false;
    std::uint8_t tail_ = 0;
};

// The printable characters (U+0020-007E) of an ASCII stretch at the start of
// `text`, and the length of that stretch. Written as plain loops over blocks
// of 128 bytes, which compilers turn into vector code: each block is added up
// in byte lanes (at most 128 per lane) and kept if no byte has its high bit.
struct AsciiStretch {
    std::size_t len;
    std::uint64_t printable;
};

bool is_printable_ascii(unsigned char c) noexcept { return static_cast<unsigned char>(c - 0x20) < 0x5F; }

AsciiStretch ascii_stretch(std::string_view text) noexcept {
    constexpr std::size_t kBlock = 128;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::uint64_t printable = 0;
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        unsigned char high = 0;
        unsigned char block_printable = 0;
        for (std::size_t k = 0; k < kBlock; ++k) {
            high |= p[i + k];
            block_printable += is_printable_ascii(p[i + k]);
        }
        if (high & 0x80) break;
        printable += block_printable;
    }
    for (; i < n && p[i] < 0x80; ++i) printable += is_printable_ascii(p[i]);
    return {i, printable};
}

}  // namespace

std::uint8_t width_class(char32_t c) noexcept { return tables::width_props(c) & tables::kWidthClassMask; }

std::uint64_t grapheme_width(std::string_view cluster, bool ambiguous_wide) noexcept {
    ClusterWidth w;
    for (auto [cp, len] : utf8::chars(cluster)) w.add(cp);
    return w.finish(ambiguous_wide);
}

std::uint64_t text_width(std::string_view text, bool ambiguous_wide) noexcept {
    // All ASCII: every byte is a cluster (CR LF is one, as wide as its parts).
    AsciiStretch head = ascii_stretch(text);
    if (head.len == text.size()) return head.printable;

    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    grapheme::Breaker breaker;
    ClusterWidth cluster;
    std::uint64_t total = 0;
    auto feed = [&](char32_t cp) {
        if (breaker.breaks_before(cp)) {
            total += cluster.finish(ambiguous_wide);
            cluster.start(cp);
        } else {
            cluster.add(cp);
        }
    };
    std::size_t i = 0;
    while (i < text.size()) {
        if (p[i] < 0x80 && i + 2 < text.size() && p[i + 1] < 0x80 && p[i + 2] < 0x80) {
            // The first byte of an ASCII stretch may join the cluster before
            // it (after a Prepend) and the last may take marks after it; each
            // byte between is a cluster of its own (CR LF, one cluster, is as
            // wide as its two parts: nothing).
            feed(p[i]);
            total += cluster.finish(ambiguous_wide);
            cluster = ClusterWidth{};  // an empty cluster: a LF after CR joins nothing
            AsciiStretch run = ascii_stretch(text.substr(i + 1));
            const unsigned char last = p[i + run.len];
            total += run.printable - is_printable_ascii(last);
            breaker.after_ascii(p[i + run.len - 1]);
            i += run.len;
        }
        auto [cp, len] = utf8::decode(text, i);
        feed(cp);
        i += len;
    }
    return total + cluster.finish(ambiguous_wide);
}

}  // namespace kelrad::width
