#include "text/strip.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "util/ranges.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::strip {
namespace {

constexpr char32_t kWavingBlackFlag = 0x1F3F4;
constexpr char32_t kCancelTag = 0xE007F;

constexpr unsigned lead_byte(char32_t cp) noexcept {
    return cp < 0x80 ? cp : cp < 0x800 ? 0xC0 | (cp >> 6) : cp < 0x10000 ? 0xE0 | (cp >> 12) : 0xF0 | (cp >> 18);
}

// A set of code points as inclusive ranges, with the UTF-8 bytes its members
// can begin with. Scans stop only at those bytes and decode nothing else;
// they may step byte by byte because continuation bytes (0x80-0xBF) are
// never lead bytes. Eight bytes at a time, they mark the bytes below
// `ascii_floor` (one past the highest ASCII member other than DEL), DEL when
// it is a member, and either each non-ASCII lead byte of the set (when there
// are at most five) or every non-ASCII byte; each mark is then checked
// against `leads`.
template <std::size_t N>
struct CharSet {
    static constexpr std::size_t kMaxExactLeads = 5;

    std::array<CodepointRange, N> ranges{};
    std::array<bool, 256> leads{};
    unsigned ascii_floor = 0;
    bool has_del = false;
    std::array<unsigned char, kMaxExactLeads> high_leads{};
    std::size_t high_lead_count = 0;  // kMaxExactLeads + 1: too many to test one by one

    constexpr explicit CharSet(const std::array<CodepointRange, N>& r) : ranges(r) {
        for (const auto& range : ranges) {
            for (unsigned b = lead_byte(range.first); b <= lead_byte(range.last); ++b) {
                if (b < 0x80 || b >= 0xC2) leads[b] = true;
            }
        }
        for (unsigned b = 0; b < 0x7F; ++b) {
            if (leads[b]) ascii_floor = b + 1;
        }
        has_del = leads[0x7F];
        for (unsigned b = 0xC2; b < 0x100; ++b) {
            if (!leads[b]) continue;
            if (high_lead_count < kMaxExactLeads) high_leads[high_lead_count] = static_cast<unsigned char>(b);
            if (high_lead_count <= kMaxExactLeads) ++high_lead_count;
        }
    }

    constexpr bool contains(char32_t cp) const noexcept {
        if (cp < 0x80) return leads[cp];  // an ASCII byte is a lead byte of itself alone
        for (const auto& r : ranges) {
            if (cp >= r.first && cp <= r.last) return true;
        }
        return false;
    }
};

// Marks the bytes of `w` that are non-ASCII lead bytes of members of `Set`,
// or every non-ASCII byte when the set has too many lead bytes to test.
template <const auto& Set>
std::uint64_t high_lead_marks(std::uint64_t w) noexcept {
    constexpr std::size_t lead_count = Set.high_lead_count;
    if constexpr (lead_count <= Set.kMaxExactLeads) {
        return [&]<std::size_t... K>(std::index_sequence<K...>) {
            return (std::uint64_t{0} | ... | swar::bytes_equal(w, Set.high_leads[K]));
        }(std::make_index_sequence<lead_count>{});
    } else {
        return w & swar::kHighBits;
    }
}

// The next position at or after `i` where a member of `Set` may begin, or
// the size. `Set` is a template argument so that the word test is fixed at
// compile time.
template <const auto& Set>
std::size_t next_candidate(std::string_view text, std::size_t i) noexcept {
    constexpr unsigned floor = Set.ascii_floor;
    constexpr bool has_del = Set.has_del;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t w = swar::load(p + i);
        std::uint64_t high = w & swar::kHighBits;
        std::uint64_t marks = floor > 0 ? swar::bytes_below(w, floor) : 0;
        if constexpr (has_del) {
            // 0x7F + 1 sets the high bit; only 0xFF carries, and it is high itself.
            if ((marks | high | ((w + swar::kOnes) & swar::kHighBits)) == 0) continue;
            marks |= swar::bytes_equal(w, 0x7F);
        } else {
            if ((marks | high) == 0) continue;
        }
        if (high != 0) marks |= high_lead_marks<Set>(w);
        for (; marks != 0; marks &= marks - 1) {
            std::size_t j = i + swar::first_marked(marks);
            if (Set.leads[p[j]]) return j;
        }
    }
    for (; i < n; ++i) {
        if (Set.leads[p[i]]) return i;
    }
    return n;
}

template <std::size_t N>
constexpr CharSet<N> char_set(const CodepointRange (&ranges)[N]) {
    return CharSet<N>(std::to_array(ranges));
}

// White_Space, the information separators and the blank fillers.
constexpr auto kCollapseWhitespace =
    char_set({{0x09, 0x0D}, {0x1C, 0x20}, {0x85, 0x85}, {0xA0, 0xA0}, {0x1680, 0x1680}, {0x2000, 0x200A},
              {0x2028, 0x2029}, {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000}, {0x115F, 0x1160},
              {0x2800, 0x2800}, {0x3164, 0x3164}, {0xFFA0, 0xFFA0}});

// Marks (0x80) the bytes of eight bytes of text, read after the first
// non-whitespace character, from which on they may need collapsing: a byte
// below 0x20 (the other ASCII whitespace), a lead byte of non-ASCII
// whitespace, the first of two spaces in a row, or a leading space right
// after a collapsing space. Bytes before the lowest mark are their own
// result. (Borrows may mark bytes above a marked one; the lowest mark is
// always exact.)
inline std::uint64_t collapse_marks(std::uint64_t w, bool after_space) noexcept {
    constexpr std::uint64_t k7F = 0x7F7F7F7F7F7F7F7FULL;
    std::uint64_t marks = swar::bytes_below(w, 0x20);
    if (w & swar::kHighBits) marks |= high_lead_marks<kCollapseWhitespace>(w);
    std::uint64_t t = w ^ (swar::kOnes * 0x20);
    std::uint64_t spaces = ~(((t & k7F) + k7F) | t | k7F);  // 0x80 in exactly the space bytes
    std::uint64_t doubled = spaces & (spaces >> 8);
    std::uint64_t leading = after_space ? spaces & 0x80 : 0;
    return marks | doubled | leading;
}

constexpr auto kRemovedControls = char_set({{0x00, 0x08}, {0x0E, 0x1B}, {0x7F, 0x84}, {0x86, 0x9F}});

constexpr auto kZeroWidth = char_set({{0x180E, 0x180E}, {0x200B, 0x200D}, {0x2060, 0x2064}, {0xFEFF, 0xFEFF},
                                      {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}});

constexpr auto kBidiAndInvisibleFormat = char_set({{0x00AD, 0x00AD}, {0x061C, 0x061C}, {0x200E, 0x200F},
                                                   {0x202A, 0x202E}, {0x2066, 0x206F}, {0xFFF9, 0xFFFB}});

constexpr auto kPrivateUse = char_set({{0xE000, 0xF8FF}, {0xF0000, 0xFFFFD}, {0x100000, 0x10FFFD}});

constexpr auto kVariationSelectors = char_set({{0xFE00, 0xFE0F}, {0xE0100, 0xE01EF}});

constexpr auto kTags = char_set({{0xE0000, 0xE007F}});

// U+FDD0-FDEF and the last two code points of each of the 17 planes.
constexpr auto kNoncharacters = [] {
    std::array<CodepointRange, 18> ranges{};
    ranges[0] = {0xFDD0, 0xFDEF};
    for (char32_t plane = 0; plane <= 0x10; ++plane) {
        ranges[plane + 1] = {plane << 16 | 0xFFFE, plane << 16 | 0xFFFF};
    }
    return CharSet<18>(ranges);
}();

// Where the tag strip has to look: tag characters and the flag that may
// start a tag sequence.
constexpr auto kTagCandidates = char_set({{0x1F3F4, 0x1F3F4}, {0xE0000, 0xE007F}});

// Where the format strip has to look: U+034F, private use, noncharacters,
// variation selectors and everything beyond the Basic Multilingual Plane.
constexpr auto kFormatCandidates =
    char_set({{0x034F, 0x034F}, {0xE000, 0xF8FF}, {0xFDD0, 0xFDEF}, {0xFE00, 0xFE0F}, {0xFFFE, 0xFFFF},
              {0x10000, 0x10FFFF}});

constexpr bool is_tag(char32_t cp) noexcept { return kTags.contains(cp); }

// Only the lower-case tag letters spell subdivision codes.
constexpr bool is_tag_letter(char32_t cp) noexcept { return cp >= 0xE0061 && cp <= 0xE007A; }

// A selector after one of these would select nothing visible, so the
// format strip drops it even when it keeps emoji presentation selectors.
constexpr bool is_invisible_before_selector(char32_t cp) noexcept {
    return cp <= 0x20 || (cp >= 0x7F && cp <= 0x9F) || kCollapseWhitespace.contains(cp) || kZeroWidth.contains(cp);
}

// The three subdivision flags of UTS #51 that have emoji tag sequences.
bool is_flag_spelling(const char (&letters)[5]) noexcept {
    return std::memcmp(letters, "gbeng", 5) == 0 || std::memcmp(letters, "gbsct", 5) == 0 ||
           std::memcmp(letters, "gbwls", 5) == 0;
}

// Copies `text` to `out` without the members of `set`, copying each kept
// stretch in one append.
template <const auto& Set>
void drop_members(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    std::size_t kept = 0;  // start of the stretch not yet copied
    std::size_t i = 0;
    while ((i = next_candidate<Set>(text, i)) < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (Set.contains(cp)) {
            out.append(text.data() + kept, i - kept);
            kept = i + len;
        }
        i += len;
    }
    out.append(text.data() + kept, text.size() - kept);
}

}  // namespace

void collapse_whitespace(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    bool started = false;      // a non-whitespace character has been written
    bool after_space = false;  // the last thing written is a collapsing space
    std::size_t kept = 0;      // start of the stretch that is copied as it stands
    std::size_t i = 0;
    while (i < n) {
        if (started && i + 8 <= n) {
            std::uint64_t marks = collapse_marks(swar::load(p + i), after_space);
            std::size_t clean = marks ? swar::first_marked(marks) : 8;
            if (clean > 0) {
                after_space = p[i + clean - 1] == 0x20;
                i += clean;
                continue;
            }
        }
        if (!kCollapseWhitespace.leads[p[i]]) {
            // Not whitespace, nor are the non-ASCII bytes right after it
            // that cannot begin whitespace (a word of most scripts). Byte
            // steps: the word skip above may stop inside a character.
            started = true;
            after_space = false;
            do {
                ++i;
            } while (i < n && p[i] >= 0x80 && !kCollapseWhitespace.leads[p[i]]);
            continue;
        }
        auto [cp, len] = utf8::decode(text, i);
        if (!kCollapseWhitespace.contains(cp)) {
            started = true;
            after_space = false;
            i += len;
            continue;
        }
        bool write_space = started && !after_space;
        // A lone U+0020 between words is its own result; anything else ends
        // the copied stretch.
        if (!(write_space && cp == 0x20)) {
            out.append(text.data() + kept, i - kept);
            if (write_space) out.push_back(' ');
            kept = i + len;
        }
        if (write_space) after_space = true;
        i += len;
    }
    out.append(text.data() + kept, n - kept);
    // Every U+0020 in `out` is a collapsing space, so a final one is trailing
    // whitespace.
    if (!out.empty() && out.back() == ' ') out.pop_back();
}

void strip_control_chars(std::string_view text, std::string& out) { drop_members<kRemovedControls>(text, out); }

void strip_zero_width_chars(std::string_view text, std::string& out) { drop_members<kZeroWidth>(text, out); }

void strip_bidi(std::string_view text, std::string& out) { drop_members<kBidiAndInvisibleFormat>(text, out); }

void strip_pua(std::string_view text, std::string& out) { drop_members<kPrivateUse>(text, out); }

void strip_noncharacters(std::string_view text, std::string& out) { drop_members<kNoncharacters>(text, out); }

void strip_variation_selectors(std::string_view text, std::string& out) {
    drop_members<kVariationSelectors>(text, out);
}

std::size_t take_flag_tag_sequence(std::string_view text, std::size_t pos, std::string& out) {
    char letters[5] = {};
    std::size_t count = 0;
    std::size_t i = pos;
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (!is_tag_letter(cp)) {
            if (cp == kCancelTag && count == 5 && is_flag_spelling(letters)) {
                out.append(text.data() + pos, i + len - pos);
                return i + len;
            }
            return i;
        }
        if (count < 5) letters[count] = static_cast<char>(cp - 0xE0000);
        ++count;
        i += len;
    }
    return i;
}

std::string strip_tags(std::string_view text) {
    // A pure-ASCII text holds nothing to drop and is copied at once.
    if (utf8::is_ascii(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t kept = 0;
    std::size_t i = 0;
    while ((i = next_candidate<kTagCandidates>(text, i)) < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (cp == kWavingBlackFlag) {
            i += len;
            out.append(text.data() + kept, i - kept);
            i = kept = take_flag_tag_sequence(text, i, out);
            continue;
        }
        if (is_tag(cp)) {
            out.append(text.data() + kept, i - kept);
            kept = i + len;
        }
        i += len;
    }
    out.append(text.data() + kept, text.size() - kept);
    return out;
}

void strip_format_chars(std::string_view text, bool strip_private_use, bool keep_emoji_vs, std::string& out) {
    out.clear();
    if (utf8::is_ascii(text)) {
        out.append(text);
        return;
    }
    out.reserve(text.size());
    std::size_t kept = 0;
    std::size_t i = 0;
    while ((i = next_candidate<kFormatCandidates>(text, i)) < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        if (cp == kWavingBlackFlag) {
            i += len;
            out.append(text.data() + kept, i - kept);
            i = kept = take_flag_tag_sequence(text, i, out);
            continue;
        }
        bool drop = cp == 0x034F || is_tag(cp) || kNoncharacters.contains(cp) || (cp >= 0x1D173 && cp <= 0x1D17A) ||
                    (cp >= 0x1BCA0 && cp <= 0x1BCA3) || (strip_private_use && kPrivateUse.contains(cp));
        if (!drop && kVariationSelectors.contains(cp)) {
            drop = true;
            if (keep_emoji_vs && (cp == 0xFE0E || cp == 0xFE0F)) {
                // Judged against what was kept, not against the input.
                out.append(text.data() + kept, i - kept);
                kept = i;
                drop = out.empty() || is_invisible_before_selector(utf8::decode_before(out, out.size()).cp);
            }
        }
        if (drop) {
            out.append(text.data() + kept, i - kept);
            kept = i + len;
        }
        i += len;
    }
    out.append(text.data() + kept, text.size() - kept);
}

std::optional<std::size_t> flag_tag_sequence_len(std::span<const char32_t> chars) {
    if (chars.size() < kFlagTagSequenceLen || chars[0] != kWavingBlackFlag || chars[6] != kCancelTag) {
        return std::nullopt;
    }
    char letters[5];
    for (std::size_t k = 0; k < 5; ++k) {
        if (!is_tag_letter(chars[k + 1])) return std::nullopt;
        letters[k] = static_cast<char>(chars[k + 1] - 0xE0000);
    }
    if (!is_flag_spelling(letters)) return std::nullopt;
    return kFlagTagSequenceLen;
}

std::optional<std::size_t> flag_tag_sequence_len(std::string_view text) {
    char32_t chars[kFlagTagSequenceLen];
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size() && count < kFlagTagSequenceLen; ++count) {
        auto [cp, len] = utf8::decode(text, i);
        chars[count] = cp;
        i += len;
    }
    return flag_tag_sequence_len(std::span<const char32_t>(chars, count));
}

}  // namespace kelrad::strip
