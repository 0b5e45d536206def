// Emoji: what counts as one emoji in a run of code points (UTS #51), its
// English short name (CLDR), and the two text operations built on them:
// demojize, which writes every emoji as its name ("I❤you" becomes
// "I red heart you"), and replace_emoji, which puts one fixed text in place of
// every emoji sequence.
//
// The property tests follow Unicode 15.1 (emoji-data.txt); the names are the
// CLDR 48 English "tts" annotations, which also name the emoji of 16.0 and
// 17.0. Everything here is a pure function of its arguments and the constant
// tables; a caller-supplied `NameProvider` is the only way in from outside.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "text/warning.hpp"

namespace kelrad::emoji {

inline constexpr char32_t kZwj = 0x200D;
inline constexpr char32_t kTextSelector = 0xFE0E;   // VS15
inline constexpr char32_t kEmojiSelector = 0xFE0F;  // VS16
inline constexpr char32_t kCombiningKeycap = 0x20E3;

// Emoji, Emoji_Presentation, and Emoji or Extended_Pictographic (15.1).
bool is_emoji_char(char32_t c) noexcept;
bool is_emoji_presentation(char32_t c) noexcept;
bool is_emoji_or_pictographic(char32_t c) noexcept;

inline constexpr bool is_regional_indicator(char32_t c) noexcept { return c >= 0x1F1E6 && c <= 0x1F1FF; }
inline constexpr bool is_keycap_base(char32_t c) noexcept {
    return (c >= U'0' && c <= U'9') || c == U'#' || c == U'*';
}
inline constexpr bool is_skin_tone(char32_t c) noexcept { return c >= 0x1F3FB && c <= 0x1F3FF; }
inline constexpr bool is_tag(char32_t c) noexcept { return c >= 0xE0020 && c <= 0xE007F; }
// The code points an emoji element absorbs after its first: the two
// presentation selectors, the skin tones and the tag characters.
inline constexpr bool is_modifier(char32_t c) noexcept {
    return c == kTextSelector || c == kEmojiSelector || is_skin_tone(c) || is_tag(c);
}

// Whether an emoji starts at cps[0], and how many code points it covers (len
// is meaningful only when is_emoji).
struct Extent {
    bool is_emoji;
    std::size_t len;
};

// One element: a regional indicator, alone or paired; a keycap base with
// U+20E3 (U+FE0F between them allowed); or a code point with
// Emoji_Presentation, an Emoji code point followed by U+FE0F, or an
// Emoji_Modifier_Base followed by a skin tone, in each case with every
// modifier that follows it.
Extent parse_element(std::span<const char32_t> cps) noexcept;

// Elements joined by U+200D. Regional indicators and keycaps do not join; a
// joiner not followed by an element is not part of the sequence.
Extent sequence_len(std::span<const char32_t> cps) noexcept;

// A name from the constant tables and the code points it stands for.
struct NameMatch {
    std::string_view name;
    std::size_t consumed;
};

// The longest prefix of two or more code points that is a named sequence.
// U+FE0F after a pictograph (not after a regional indicator or skin tone) is
// skipped and counted in `consumed`, so fully qualified input matches the
// keys, which hold no U+FE0F.
std::optional<NameMatch> trie_lookup(std::span<const char32_t> cps) noexcept;

// The name of the emoji that starts at cps[0] (cps not empty): a named
// sequence, then a keycap written with U+FE0E or U+FE0F, then the single
// code point (with the presentation selector after it, if any).
std::optional<NameMatch> lookup_name(std::span<const char32_t> cps) noexcept;

// What demojize writes for an emoji that has no name.
struct UnnamedEmojiPolicy {
    enum class Kind : unsigned char { Ignore, Replace, Preserve };
    Kind kind = Kind::Ignore;
    std::string_view replacement;  // for Replace

    static UnnamedEmojiPolicy from_mode(ErrorMode mode, std::string_view replace_with) noexcept;
};

// `out` is emptied, then receives the text with every emoji written as its
// short name, separated from neighbouring words by single spaces. With
// `strip_modifiers`, names lose their qualifiers ("thumbs up: light skin
// tone" is written "thumbs up"). With `keep_text_symbols`, the named text
// symbols (arrows, operators, currency signs, ...) are copied instead of
// named. Presentation selectors and stray joiners are dropped. All-ASCII
// text is copied unchanged.
void demojize(std::string_view text, bool strip_modifiers, bool keep_text_symbols, UnnamedEmojiPolicy policy,
              std::string& out);

// demojize with the policy of an error mode and without keeping symbols.
std::string demojize_with_mode(std::string_view text, bool strip_modifiers, ErrorMode mode,
                               std::string_view replace_with);

// Names supplied from outside, asked before the built-in tables.
class NameProvider {
public:
    enum class Answer : unsigned char {
        Named,    // `name` holds the name
        Unnamed,  // no name for this sequence; a shorter prefix may have one
        Failed,   // the provider misbehaved; the built-in tables decide here
    };
    virtual Answer lookup(std::span<const char32_t> sequence, std::string& name) = 0;

protected:
    ~NameProvider() = default;
};

// demojize without kept symbols or fast path, asking `provider` at every
// position first: for the longest prefix of at most nine code points, then
// ever shorter ones while it answers Unnamed. A provider's name is written
// whole, even with `strip_modifiers`. All-ASCII text is copied unchanged
// without asking.
void demojize_with_provider(std::string_view text, bool strip_modifiers, UnnamedEmojiPolicy policy,
                            NameProvider& provider, std::string& out);

// `out` is emptied, then receives the text with every emoji sequence
// replaced by `replacement`, verbatim. A sequence is measured as by
// sequence_len, except that a named sequence, with or without its U+FE0F,
// counts as one element however its code points parse: what demojize names
// whole (U+2764 U+200D U+1F525 without U+FE0F) is replaced whole, while a
// lone text-style ☺ stays. Joiners, selectors and tags outside a sequence
// are copied like any character.
void replace_emoji(std::string_view text, std::string_view replacement, std::string& out);

// Appends `piece`, with one space before it unless `out` is empty or ends in
// White_Space.
void append_spaced(std::string& out, std::string_view piece);

// Whether a space goes between a name just written and `c`: a letter, digit
// or combining mark, or a character whose Latin confusable prototype begins
// with one.
bool is_spacing_word_char(char32_t c) noexcept;

}  // namespace kelrad::emoji
