#include "text/width.hpp"

#include <bit>

#include "tables/width.hpp"
#include "text/emoji.hpp"
#include "text/grapheme.hpp"
#include "util/ranges.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::width {
namespace {

// Format characters that stand before the number they enclose (Arabic
// number sign, end of ayah, ...); a cluster is as wide as what follows them.
bool is_prepended_concatenation_mark(char32_t c) noexcept {
    return (c >= 0x0600 && c <= 0x0605) || c == 0x06DD || c == 0x070F || c == 0x0890 || c == 0x0891 ||
           c == 0x08E2 || c == 0x110BD || c == 0x110CD;
}

std::uint64_t from_class(std::uint8_t cls, bool ambiguous_wide) noexcept {
    switch (cls) {
        case 0: return 0;
        case 2: return 2;
        case 3: return ambiguous_wide ? 2 : 1;
        default: return 1;
    }
}

// The number of printable ASCII bytes (U+0020-007E) among n ASCII bytes,
// eight at a time: adding 0x60 sets a byte's high bit exactly when it is at
// least 0x20, and adding 0x7F to the byte xor 0x7F exactly when it is not DEL;
// an ASCII byte cannot carry into its neighbour either way.
std::uint64_t printable_ascii(const char* p, std::size_t n) noexcept {
    std::uint64_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w = swar::load(p + i);
        std::uint64_t at_least_space = (w + swar::kOnes * 0x60) & swar::kHighBits;
        std::uint64_t not_del = ((w ^ (swar::kOnes * 0x7F)) + swar::kOnes * 0x7F) & swar::kHighBits;
        count += static_cast<std::uint64_t>(std::popcount(at_least_space & not_del));
    }
    for (; i < n; ++i) count += p[i] >= 0x20 && p[i] != 0x7F;
    return count;
}

}  // namespace

std::uint8_t width_class(char32_t c) noexcept { return range_value(tables::WIDTH_RANGES, c, std::uint8_t{1}); }

std::uint64_t grapheme_width(std::string_view cluster, bool ambiguous_wide) noexcept {
    std::size_t i = 0;
    char32_t base = 0;
    while (i < cluster.size()) {
        auto [cp, len] = utf8::decode(cluster, i);
        i += len;
        if (!is_prepended_concatenation_mark(cp)) {
            base = cp;
            break;
        }
        if (i == cluster.size()) return 0;
    }
    if (i == 0) return 0;
    if (base < 0x80 && i == cluster.size()) return base >= 0x20 && base < 0x7F ? 1 : 0;

    const std::uint8_t cls = width_class(base);
    const bool emoji_base = emoji::is_emoji_presentation(base) || emoji::is_regional_indicator(base);
    if (!emoji_base && cls == 0) return 0;

    bool text_selector = false, emoji_selector = false, keycap = false;
    for (auto [cp, len] : utf8::chars(cluster.substr(i))) {
        text_selector |= cp == emoji::kTextSelector;
        emoji_selector |= cp == emoji::kEmojiSelector;
        keycap |= cp == emoji::kCombiningKeycap;
    }
    keycap = keycap && emoji::is_keycap_base(base);
    if (text_selector) {
        if (emoji_base) return 1;
    } else if (emoji_selector) {
        if (emoji_base || keycap || emoji::is_emoji_char(base)) return 2;
    } else if (emoji_base || keycap) {
        return 2;
    }
    return from_class(cls, ambiguous_wide);
}

std::uint64_t text_width(std::string_view text, bool ambiguous_wide) noexcept {
    std::uint64_t total = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        // Inside an ASCII run each byte is a cluster (CR LF is one, of width
        // 0 like its parts) one column wide when printable. The run's last
        // character may take the marks that follow it, so it is measured as
        // a cluster.
        std::size_t run = utf8::ascii_prefix_len(text.substr(i));
        if (run > 1) {
            total += printable_ascii(text.data() + i, run - 1);
            i += run - 1;
        }
        std::size_t end = grapheme::next_boundary(text, i);
        total += grapheme_width(text.substr(i, end - i), ambiguous_wide);
        i = end;
    }
    return total;
}

}  // namespace kelrad::width
