#include "text/emoji.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "tables/alphanumeric.hpp"
#include "tables/confusables.hpp"
#include "tables/emoji.hpp"
#include "text/normalize.hpp"
#include "text/white_space.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::emoji {

namespace {

bool has_flag(char32_t c, std::uint8_t flag) noexcept { return tables::emoji_entry(c).flags & flag; }

}  // namespace

bool is_emoji_char(char32_t c) noexcept { return has_flag(c, tables::kEmoji); }

bool is_emoji_presentation(char32_t c) noexcept { return has_flag(c, tables::kEmojiPresentation); }

bool is_emoji_or_pictographic(char32_t c) noexcept { return has_flag(c, tables::kEmojiOrPictographic); }

namespace {

bool is_presentation_selector(char32_t c) noexcept { return c == kTextSelector || c == kEmojiSelector; }

bool in_slow_path_bmp(char32_t c) noexcept { return (tables::EMOJI_SLOW_PATH_BMP[c >> 6] >> (c & 63)) & 1; }

constexpr Extent kNoEmoji{false, 0};

}  // namespace

Extent parse_element(std::span<const char32_t> cps) noexcept {
    const std::size_t n = cps.size();
    if (n == 0) return kNoEmoji;
    const char32_t c = cps[0];
    if (is_regional_indicator(c)) return {true, n >= 2 && is_regional_indicator(cps[1]) ? 2U : 1U};
    if (is_keycap_base(c)) {
        if (n == 1) return kNoEmoji;
        std::size_t k = cps[1] == kEmojiSelector ? 1 : 0;
        if (k + 1 >= n || cps[k + 1] != kCombiningKeycap) return kNoEmoji;
        return {true, k + 2};
    }
    // A text-default modifier base with a skin tone (U+1F590 U+1F3FB) is an
    // emoji as surely as one with U+FE0F: UTS #51 modifier sequences.
    const std::uint8_t flags = tables::emoji_entry(c).flags;
    bool emoji = (flags & tables::kEmojiPresentation) ||
                 (n >= 2 && ((cps[1] == kEmojiSelector && (flags & tables::kEmoji)) ||
                             (is_skin_tone(cps[1]) && (flags & tables::kEmojiModifierBase))));
    if (!emoji) return kNoEmoji;
    std::size_t len = 1;
    while (len < n && is_modifier(cps[len])) ++len;
    return {true, len};
}

Extent sequence_len(std::span<const char32_t> cps) noexcept {
    Extent first = parse_element(cps);
    if (!first.is_emoji || is_regional_indicator(cps[0]) || is_keycap_base(cps[0])) return first;
    std::size_t pos = first.len;
    while (pos < cps.size()) {
        while (pos < cps.size() && is_modifier(cps[pos])) ++pos;
        if (pos >= cps.size() || cps[pos] != kZwj) break;
        Extent next = parse_element(cps.subspan(pos + 1));
        if (!next.is_emoji) break;
        pos += 1 + next.len;
    }
    return {true, pos};
}

namespace {

// The trie walk from `node`, the node that cps[0] leads to from the root.
// `exhausted` tells whether it ran out of input rather than out of trie, in
// which case more input might have given a longer match.
std::optional<NameMatch> walk_trie(std::uint32_t node, std::span<const char32_t> cps, bool& exhausted) noexcept {
    std::optional<NameMatch> best;
    exhausted = false;
    for (std::size_t i = 1;; ++i) {
        if (i == cps.size()) {
            exhausted = true;
            break;
        }
        const char32_t c = cps[i];
        const char32_t* first = tables::EMOJI_TRIE_LABELS + tables::EMOJI_TRIE_FIRST[node];
        const char32_t* last = tables::EMOJI_TRIE_LABELS + tables::EMOJI_TRIE_FIRST[node + 1];
        const char32_t* edge = std::lower_bound(first, last, c);
        if (edge != last && *edge == c) {
            node = static_cast<std::uint32_t>(edge - tables::EMOJI_TRIE_LABELS) + 1;
            const std::uint32_t name = tables::EMOJI_TRIE_NAMES[node];
            if (c != kZwj && !is_presentation_selector(c) && name != tables::kNoEmojiName) {
                best = NameMatch{tables::emoji_name(name), i + 1};
            }
        } else if (c == kEmojiSelector && is_emoji_or_pictographic(cps[i - 1]) && !is_regional_indicator(cps[i - 1]) &&
                   !is_skin_tone(cps[i - 1])) {
            continue;  // fully qualified input: the keys hold no U+FE0F
        } else {
            break;
        }
    }
    return best;
}

// lookup_name given the entry of cps[0], telling also whether the answer
// might change with more input.
std::optional<NameMatch> find_name(const tables::EmojiEntry& entry, std::span<const char32_t> cps,
                                   bool& exhausted) noexcept {
    exhausted = cps.size() < 2;  // the selector after a single name
    if (entry.trie_node != 0) {
        bool walk_exhausted = false;
        std::optional<NameMatch> m = walk_trie(entry.trie_node, cps, walk_exhausted);
        exhausted = walk_exhausted || cps.size() < 3;  // the keycap rule looks three ahead
        if (m) return m;
        // A keycap written with a presentation selector, U+FE0E included.
        if (cps.size() >= 3 && is_presentation_selector(cps[1]) && cps[2] == kCombiningKeycap) {
            const char32_t keycap[2] = {cps[0], kCombiningKeycap};
            if (auto k = walk_trie(entry.trie_node, keycap, walk_exhausted)) return NameMatch{k->name, 3};
        }
    }
    if (entry.name != tables::kNoEmojiName) {
        bool selector = cps.size() >= 2 && is_presentation_selector(cps[1]);
        return NameMatch{tables::emoji_name(entry.name), selector ? 2U : 1U};
    }
    return std::nullopt;
}

// One element of a sequence as replace_emoji measures it: the element rule,
// or the longer named sequence the trie matches from the same code point, so
// that what demojize names whole is replaced whole even where the element
// rule stops at a text-style ❤ or ♂ without U+FE0F (heart on fire U+2764
// U+200D U+1F525, man running U+1F3C3 U+200D U+2642). `exhausted` tells
// whether more input might have changed the answer.
Extent replaced_element(std::span<const char32_t> cps, bool& exhausted) noexcept {
    Extent e = parse_element(cps);
    // The element rule decides from three code points at most, unless its
    // modifiers run to the end.
    exhausted = cps.size() < 3 || (e.is_emoji && e.len == cps.size());
    const std::uint32_t node = cps.empty() ? 0 : tables::emoji_entry(cps[0]).trie_node;
    if (node != 0) {
        bool walk_exhausted = false;
        std::optional<NameMatch> m = walk_trie(node, cps, walk_exhausted);
        exhausted = exhausted || walk_exhausted;
        if (m && (!e.is_emoji || m->consumed > e.len)) e = {true, m->consumed};
    }
    return e;
}

// sequence_len with replaced_element for its elements, and `exhausted` as
// there.
Extent replaced_sequence(std::span<const char32_t> cps, bool& exhausted) noexcept {
    Extent first = replaced_element(cps, exhausted);
    if (!first.is_emoji || is_regional_indicator(cps[0]) || is_keycap_base(cps[0])) return first;
    std::size_t pos = first.len;
    for (;;) {
        while (pos < cps.size() && is_modifier(cps[pos])) ++pos;
        if (pos == cps.size()) {
            exhausted = true;
            break;
        }
        if (cps[pos] != kZwj) break;
        bool next_exhausted = false;
        Extent next = replaced_element(cps.subspan(pos + 1), next_exhausted);
        exhausted = exhausted || next_exhausted;
        if (!next.is_emoji) break;
        pos += 1 + next.len;
    }
    return {true, pos};
}

}  // namespace

std::optional<NameMatch> trie_lookup(std::span<const char32_t> cps) noexcept {
    if (cps.empty()) return std::nullopt;
    const std::uint32_t node = tables::emoji_entry(cps[0]).trie_node;
    bool exhausted = false;
    return node == 0 ? std::nullopt : walk_trie(node, cps, exhausted);
}

std::optional<NameMatch> lookup_name(std::span<const char32_t> cps) noexcept {
    bool exhausted = false;
    return find_name(tables::emoji_entry(cps[0]), cps, exhausted);
}

UnnamedEmojiPolicy UnnamedEmojiPolicy::from_mode(ErrorMode mode, std::string_view replace_with) noexcept {
    switch (mode) {
        case ErrorMode::Replace: return {Kind::Replace, replace_with};
        case ErrorMode::Ignore: return {Kind::Ignore, {}};
        case ErrorMode::Preserve: break;
    }
    return {Kind::Preserve, {}};
}

void append_spaced(std::string& out, std::string_view piece) {
    if (!out.empty()) {
        const auto last = static_cast<unsigned char>(out.back());
        if (!is_white_space(last < 0x80 ? last : utf8::decode_before(out, out.size()).cp)) out += ' ';
    }
    out += piece;
}

bool is_spacing_word_char(char32_t c) noexcept {
    if (tables::is_alphanumeric(c) || normalize::is_mark(c)) return true;
    // A symbol that looks like a letter or digit (U+2223 DIVIDES, like "l")
    // reads as part of the word.
    std::string_view prototype = tables::CONFUSABLES_LATIN.prototype(c);
    return !prototype.empty() && tables::is_alphanumeric(utf8::decode(prototype, 0).cp);
}

namespace {

// The end of the run from byte `start` of code points that can neither start
// nor continue a named emoji: ASCII other than the keycap bases, and BMP
// characters outside the slow-path bitmap. With `copyright_signs`, U+00A9
// and U+00AE, which have no name but begin an emoji with U+FE0F, end the run
// too. Such a run is copied without any lookup.
std::size_t plain_run_end(std::string_view text, std::size_t start, bool copyright_signs) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t i = start;
    while (i < text.size()) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            if (is_keycap_base(b)) break;
            ++i;
            // Eight bytes at a time while none is a digit, '#', '*' or not
            // ASCII: for an ASCII byte, adding 0x50 sets the high bit from
            // '0' up and adding 0x46 from ':' up, without carrying over.
            for (; i + 8 <= text.size(); i += 8) {
                const std::uint64_t w = swar::load(p + i);
                const std::uint64_t digits = (w + swar::kOnes * 0x50) & ~(w + swar::kOnes * 0x46);
                const std::uint64_t stops = (w | digits | swar::bytes_equal(w, '#') | swar::bytes_equal(w, '*'));
                if (stops & swar::kHighBits) break;
            }
            continue;
        }
        if (b >= 0xF0) break;
        auto [cp, len] = utf8::decode(text, i);
        if (in_slow_path_bmp(cp) || (copyright_signs && (cp == 0xA9 || cp == 0xAE))) break;
        i += len;
    }
    return i;
}

// The next code points of the text from a byte position: at most kSize of
// them, decoded into a fixed buffer of twice that size (moved back to its
// start once the front passes the middle) only as far as a rule asks to look
// ahead, so that text copied in bulk is decoded once or not at all. Named
// sequences are at most nine code points long, so the window sees every one
// whole.
//
// A view holds exactly the code points asked for, even when more are already
// decoded: a rule that runs into the end of a view of `want` code points
// knows that there is more text exactly when the view is `want` long, and
// asks again for the whole window.
class Window {
public:
    static constexpr std::size_t kSize = 18;

    explicit Window(std::string_view text) noexcept : text_(text) {}

    bool at_end() const noexcept { return pos_ == text_.size(); }
    std::string_view text() const noexcept { return text_; }
    std::size_t pos() const noexcept { return pos_; }  // byte offset of the first code point

    // The first min(want, kSize) code points, fewer only at the end of the text.
    std::span<const char32_t> view(std::size_t want = kSize) noexcept {
        want = std::min(want, kSize);
        fill(want);
        return {buf_.data() + start_, std::min(want, end_ - start_)};
    }
    char32_t front() noexcept { return view(1)[0]; }
    // The code point after the first, or nothing at the end of the text.
    std::optional<char32_t> second() noexcept {
        std::span<const char32_t> v = view(2);
        return v.size() >= 2 ? std::optional<char32_t>(v[1]) : std::nullopt;
    }

    // The bytes of the first k code points (k no more than a view holds).
    std::string_view front_bytes(std::size_t k) const noexcept {
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < k; ++i) bytes += utf8::encoded_len(buf_[start_ + i]);
        return text_.substr(pos_, bytes);
    }

    // Drops the first k code points (k no more than a view holds).
    void consume(std::size_t k) noexcept {
        pos_ += front_bytes(k).size();
        start_ += k;
    }

    // Moves the front to byte offset p, a character boundary at or after pos().
    void seek(std::size_t p) noexcept {
        while (start_ < end_ && pos_ < p) pos_ += utf8::encoded_len(buf_[start_++]);
        if (start_ == end_) pos_ = read_ = p;
    }

    // The byte offset just past the last decoded code point of a full view.
    std::size_t read_past_full_view() noexcept {
        fill(kSize);
        return read_;
    }

private:
    void fill(std::size_t want) noexcept {
        if (end_ - start_ >= want || read_ == text_.size()) return;
        if (start_ >= kSize || start_ == end_) {
            std::copy(buf_.begin() + static_cast<std::ptrdiff_t>(start_), buf_.begin() + static_cast<std::ptrdiff_t>(end_),
                      buf_.begin());
            end_ -= start_;
            start_ = 0;
        }
        while (end_ - start_ < want && read_ < text_.size()) {
            auto [cp, len] = utf8::decode(text_, read_);
            buf_[end_++] = cp;
            read_ += len;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t read_ = 0;
    std::array<char32_t, 2 * kSize> buf_{};
    std::size_t start_ = 0;
    std::size_t end_ = 0;
};

// Whether the first of `cps` (one or two code points) is a whole emoji, if
// an emoji at all, to the element and sequence rules and the name lookups:
// what follows it can neither join it nor modify it, and every named
// sequence has one of those as its second code point. Most emoji in text
// stand alone, and are settled without looking further.
bool stands_alone(std::span<const char32_t> cps) noexcept {
    if (cps.size() < 2) return true;
    const char32_t next = cps[1];
    return !(next == kZwj || is_modifier(next) || next == kCombiningKeycap || is_regional_indicator(next));
}

// The output side shared by demojize and replace_emoji.
class Writer {
public:
    Writer(std::string_view text, std::string& out) : window_(text), out_(out) {}

protected:
    // Run after something was dropped or replaced by nothing: a selector or
    // keycap mark that would now attach to what precedes the gap (the "1" of
    // "1", a dropped emoji, U+20E3) is dropped too, so that no emoji forms
    // across the gap.
    void drop_orphan_marks() noexcept {
        if (window_.at_end() || !is_orphan_mark(window_.front())) return;  // the common case, before any decoding
        char32_t p1 = 0, p2 = 0;
        std::size_t written = 0;
        if (!out_.empty()) {
            utf8::Decoded last = utf8::decode_before(out_, out_.size());
            p1 = last.cp;
            written = 1;
            if (out_.size() > last.len) {
                p2 = utf8::decode_before(out_, out_.size() - last.len).cp;
                written = 2;
            }
        }
        while (!window_.at_end()) {
            const char32_t w0 = window_.front();
            if (!is_orphan_mark(w0)) return;
            const char32_t three[3] = {p2, p1, w0};
            Extent before = written >= 2 ? parse_element(three) : kNoEmoji;
            bool orphan = before.is_emoji && before.len == 3;
            if (!orphan && written >= 1) {
                std::optional<char32_t> w1 = window_.second();
                const char32_t after[3] = {p1, w0, w1.value_or(0)};
                Extent e = parse_element(std::span<const char32_t>(after, w1 ? 3 : 2));
                orphan = e.is_emoji && e.len >= 2;
            }
            if (!orphan) return;
            window_.consume(1);
        }
    }

    Window window_;
    std::string& out_;

private:
    static bool is_orphan_mark(char32_t c) noexcept { return is_presentation_selector(c) || c == kCombiningKeycap; }
};

constexpr char32_t kNothing = 0xFFFFFFFF;  // no code point

class Demojizer : Writer {
public:
    Demojizer(std::string_view text, bool strip_modifiers, UnnamedEmojiPolicy policy, std::string& out)
        : Writer(text, out), strip_modifiers_(strip_modifiers), policy_(policy) {}

    void run(bool keep_text_symbols) {
        while (!window_.at_end()) {
            if (!after_emoji_ && copy_plain_run()) continue;
            const std::span<const char32_t> two = window_.view(2);
            const char32_t c = two[0];
            if (is_selector_or_joiner(c)) {
                selector_or_joiner();
            } else if (keep_text_symbols && (tables::emoji_entry(c).flags & tables::kNamedTextSymbol)) {
                if (after_emoji_ && is_spacing_word_char(c)) out_ += ' ';
                put_char(c);
                window_.consume(1);
            } else {
                built_in(two);
            }
        }
    }

    void run(NameProvider& provider) {
        std::string name;
        while (!window_.at_end()) {
            const char32_t c = window_.front();
            if (is_selector_or_joiner(c)) {
                selector_or_joiner();
            } else if (!ask(provider, name)) {
                built_in(window_.view(2));
            }
        }
    }

private:
    static bool is_selector_or_joiner(char32_t c) noexcept { return c == kZwj || is_presentation_selector(c); }

    bool copy_plain_run() {
        std::size_t end = plain_run_end(window_.text(), window_.pos(), false);
        if (end == window_.pos()) return false;
        out_.append(window_.text().substr(window_.pos(), end - window_.pos()));
        last_text_ = utf8::decode_before(window_.text(), end).cp;
        window_.seek(end);
        return true;
    }

    // U+FE0E and U+FE0F are dropped, and so is U+200D, except inside a word
    // of a script that writes with it (Sinhala ශ්‍රී, Devanagari, Malayalam
    // half forms): after a non-ASCII letter, digit or mark written as text
    // and not before an emoji.
    void selector_or_joiner() {
        const char32_t c = window_.front();
        if (c == kZwj && last_text_ != kNothing && last_text_ >= 0x80 &&
            (tables::is_alphanumeric(last_text_) || normalize::is_mark(last_text_)) &&
            !is_emoji_or_pictographic(window_.second().value_or(0))) {
            utf8::append(out_, c);
            last_text_ = c;
            window_.consume(1);
            return;
        }
        last_text_ = kNothing;
        window_.consume(1);
        drop_orphan_marks();
    }

    // Rules after the selectors, the kept symbols and the provider: the
    // built-in name, an unnamed emoji under the policy, or the character.
    // `two` is the window's view of two code points.
    void built_in(std::span<const char32_t> two) {
        const char32_t c = two[0];
        // A BMP character outside the bitmap has no name and is no emoji.
        if (c > 0xFFFF || in_slow_path_bmp(c)) {
            const tables::EmojiEntry& entry = tables::emoji_entry(c);
            if (stands_alone(two)) {
                if (entry.name != tables::kNoEmojiName) {
                    put_built_in_name(tables::emoji_name(entry.name));
                    window_.consume(1);
                    return;
                }
                if (unnamed_emoji(c, true)) return;
            } else {
                // A single name looks at the selector after it; for a
                // sequence starter a few code points settle most names, and
                // the whole window is decoded only when the lookup ran into
                // their end.
                const std::size_t lookahead = entry.trie_node != 0 ? 4 : 2;
                std::span<const char32_t> cps = window_.view(lookahead);
                bool exhausted = false;
                std::optional<NameMatch> m = find_name(entry, cps, exhausted);
                if (exhausted && cps.size() == lookahead) m = lookup_name(window_.view());
                if (m) {
                    put_built_in_name(m->name);
                    window_.consume(m->consumed);
                    drop_trailing_modifiers();
                    return;
                }
                if (unnamed_emoji(c, false)) return;
            }
        }
        put_text(c);
        window_.consume(1);
    }

    // Rule f: c written as text, after a space when it would otherwise
    // stick to the name or preserved emoji just written.
    void put_text(char32_t c) {
        if (after_emoji_ && (after_preserved_ ? tables::is_alphanumeric(c) : is_spacing_word_char(c))) out_ += ' ';
        put_char(c);
    }

    void put_char(char32_t c) {
        utf8::append(out_, c);
        after_emoji_ = after_preserved_ = false;
        last_text_ = c;
    }

    // A name from the tables: with strip_modifiers_, without its qualifiers.
    void put_built_in_name(std::string_view name) {
        put_name(strip_modifiers_ ? name.substr(0, name.find(": ")) : name);
    }

    void put_name(std::string_view name) {
        append_spaced(out_, name);
        after_emoji_ = true;
        after_preserved_ = false;
        last_text_ = kNothing;
    }

    // What is left of an emoji after its name: selectors, joiners, skin
    // tones, tags.
    void drop_trailing_modifiers() noexcept {
        while (!window_.at_end()) {
            const char32_t c = window_.front();
            if (!(c == kZwj || is_modifier(c))) break;
            window_.consume(1);
        }
    }

    bool unnamed_emoji(char32_t c, bool alone) {
        std::size_t len = 0;
        if (is_tag(c)) {
            len = 1;
        } else if (is_emoji_presentation(c)) {
            Extent e = alone ? Extent{true, 1} : sequence_len(window_.view());
            if (!e.is_emoji) return false;
            len = e.len;
        } else {
            return false;
        }
        std::string_view bytes = window_.front_bytes(len);
        window_.consume(len);
        last_text_ = kNothing;
        switch (policy_.kind) {
            case UnnamedEmojiPolicy::Kind::Preserve:
                out_ += bytes;
                after_emoji_ = after_preserved_ = true;
                break;
            case UnnamedEmojiPolicy::Kind::Replace:
                out_ += policy_.replacement;
                if (!policy_.replacement.empty()) {
                    after_emoji_ = true;
                    after_preserved_ = false;
                } else {
                    drop_orphan_marks();
                }
                break;
            case UnnamedEmojiPolicy::Kind::Ignore: drop_orphan_marks(); break;
        }
        return true;
    }

    // Asks the provider for the longest prefix of at most nine code points,
    // then ever shorter ones; true when it named one.
    bool ask(NameProvider& provider, std::string& name) {
        std::size_t len = std::min<std::size_t>(window_.view().size(), 9);
        for (;;) {
            name.clear();
            switch (provider.lookup(window_.view().first(len), name)) {
                case NameProvider::Answer::Named: {
                    std::size_t consumed = len;
                    if (len == 1 && is_keycap_base(window_.front())) {
                        Extent keycap = sequence_len(window_.view());
                        if (keycap.is_emoji) consumed = keycap.len;
                    }
                    put_name(name);  // whole, even with strip_modifiers_
                    window_.consume(consumed);
                    drop_trailing_modifiers();
                    return true;
                }
                case NameProvider::Answer::Unnamed:
                    if (len == 1) return false;
                    --len;
                    break;
                case NameProvider::Answer::Failed: return false;
            }
        }
    }

    bool strip_modifiers_;
    UnnamedEmojiPolicy policy_;
    bool after_emoji_ = false;      // the last thing written was a name, a replacement or a preserved emoji
    bool after_preserved_ = false;  // ... and it was a preserved emoji
    char32_t last_text_ = kNothing; // the code point just consumed, when it was written as text
};

class EmojiReplacer : Writer {
public:
    EmojiReplacer(std::string_view text, std::string_view replacement, std::string& out)
        : Writer(text, out), replacement_(replacement) {}

    void run() {
        while (!window_.at_end()) {
            std::size_t end = plain_run_end(window_.text(), window_.pos(), true);
            if (end > window_.pos()) {
                out_.append(window_.text().substr(window_.pos(), end - window_.pos()));
                window_.seek(end);
                continue;
            }
            const std::span<const char32_t> two = window_.view(2);
            if (stands_alone(two)) {
                if (parse_element(two.first(1)).is_emoji) {
                    out_ += replacement_;  // and no orphan mark follows: it would not stand alone
                } else {
                    utf8::append(out_, two[0]);
                }
                window_.consume(1);
                continue;
            }
            std::optional<std::size_t> bytes = sequence_bytes_at_front();
            if (!bytes) {
                utf8::append(out_, window_.front());
                window_.consume(1);
                continue;
            }
            out_ += replacement_;
            window_.seek(window_.pos() + *bytes);
            drop_orphan_marks();
        }
    }

private:
    // The byte length of the sequence replaced at the front, if one starts
    // there. A few code points settle most answers; the whole window is
    // decoded only when they do not, and the text beyond it is read only for
    // a sequence that may go on past the window.
    std::optional<std::size_t> sequence_bytes_at_front() {
        constexpr std::size_t kShort = 8;
        bool exhausted = false;
        std::span<const char32_t> cps = window_.view(kShort);
        Extent e = replaced_sequence(cps, exhausted);
        if (exhausted && cps.size() == kShort) {
            cps = window_.view();
            e = replaced_sequence(cps, exhausted);
        }
        if (exhausted && cps.size() == Window::kSize) return longer_sequence_bytes();
        if (!e.is_emoji) return std::nullopt;
        return window_.front_bytes(e.len).size();
    }

    // sequence_bytes_at_front for a full window: the code points are copied
    // to a buffer that doubles until the answer no longer depends on what
    // follows, or the text ends.
    std::optional<std::size_t> longer_sequence_bytes() {
        const std::string_view text = window_.text();
        std::span<const char32_t> window = window_.view();
        std::vector<char32_t> buf(window.begin(), window.end());
        std::size_t read = window_.read_past_full_view();
        bool exhausted = false;
        Extent e = replaced_sequence(buf, exhausted);
        while (exhausted && read < text.size()) {
            for (std::size_t add = buf.size(); add > 0 && read < text.size(); --add) {
                auto [cp, n] = utf8::decode(text, read);
                buf.push_back(cp);
                read += n;
            }
            e = replaced_sequence(buf, exhausted);
        }
        if (!e.is_emoji) return std::nullopt;
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < e.len; ++i) bytes += utf8::encoded_len(buf[i]);
        return bytes;
    }

    std::string_view replacement_;
};

}  // namespace

namespace {

// Empties `out`, and copies an all-ASCII text into it whole.
bool copy_if_ascii(std::string_view text, std::string& out) {
    out.clear();
    if (!utf8::is_ascii(text)) return false;
    out.assign(text);
    return true;
}

// How many code points from U+10000 up the text holds: its bytes with the
// four high bits set, which only lead such a code point, marked eight at a
// time (bit 7 of byte k of w << j is bit 7 - j of byte k of w) and counted in
// the byte lanes of a word, whose sum one multiplication gives.
std::size_t supplementary_count(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t count = 0, i = 0;
    while (i + 8 <= text.size()) {
        std::uint64_t lanes = 0;  // at most 8 in a lane, 64 in all: the sum fits the top byte
        for (int k = 0; k < 8 && i + 8 <= text.size(); ++k, i += 8) {
            const std::uint64_t w = swar::load(p + i);
            lanes += (w & (w << 1) & (w << 2) & (w << 3) & swar::kHighBits) >> 7;
        }
        count += static_cast<std::size_t>((lanes * swar::kOnes) >> 56);
    }
    for (; i < text.size(); ++i) count += p[i] >= 0xF0;
    return count;
}

// The demojized length of a text whose emoji lie above U+FFFF, as most do:
// an English short name is some 16 bytes where the emoji took four, so that
// emoji-dense text grows to twice its length and more, and the output would
// otherwise be moved twice while it grows.
std::size_t demojized_size_estimate(std::string_view text) noexcept {
    constexpr std::size_t kNameGrowth = 12;
    return text.size() + kNameGrowth * supplementary_count(text);
}

}  // namespace

void demojize(std::string_view text, bool strip_modifiers, bool keep_text_symbols, UnnamedEmojiPolicy policy,
              std::string& out) {
    if (copy_if_ascii(text, out)) return;
    out.reserve(demojized_size_estimate(text));
    Demojizer(text, strip_modifiers, policy, out).run(keep_text_symbols);
}

std::string demojize_with_mode(std::string_view text, bool strip_modifiers, ErrorMode mode,
                               std::string_view replace_with) {
    std::string out;
    demojize(text, strip_modifiers, false, UnnamedEmojiPolicy::from_mode(mode, replace_with), out);
    return out;
}

void demojize_with_provider(std::string_view text, bool strip_modifiers, UnnamedEmojiPolicy policy,
                            NameProvider& provider, std::string& out) {
    if (copy_if_ascii(text, out)) return;
    out.reserve(demojized_size_estimate(text));
    Demojizer(text, strip_modifiers, policy, out).run(provider);
}

void replace_emoji(std::string_view text, std::string_view replacement, std::string& out) {
    if (copy_if_ascii(text, out)) return;
    out.reserve(text.size());
    EmojiReplacer(text, replacement, out).run();
}

}  // namespace kelrad::emoji
