// Character-class filters: whitespace collapsing and the removal of controls,
// zero-width, direction-control, tag, private-use, noncharacter and
// variation-selector code points.
//
// Every filter that takes an `out` buffer empties it (keeping its capacity)
// and then writes the complete result, an exact copy of the input when nothing
// was removed; callers that need to know whether anything changed compare
// sizes. Removal never reorders: what stays keeps its stored order.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kelrad::strip {

// Leading and trailing whitespace vanish and every inner run of whitespace
// becomes one U+0020. Whitespace here is every White_Space character, the
// information separators U+001C-001F and the blank fillers U+115F, U+1160,
// U+2800, U+3164 and U+FFA0, which render as nothing but a gap.
void collapse_whitespace(std::string_view text, std::string& out);

// Drops the C0 and C1 controls except the whitespace controls: U+0000-0008,
// U+000E-001B, U+007F-0084 and U+0086-009F go; TAB, LF, VT, FF, CR,
// U+001C-001F and U+0085 stay.
void strip_control_chars(std::string_view text, std::string& out);

// Drops U+200B-200D, U+180E, U+2060-2064, U+FEFF, U+1BCA0-1BCA3 and
// U+1D173-1D17A.
void strip_zero_width_chars(std::string_view text, std::string& out);

// Drops the tag characters U+E0000-E007F, except inside the emoji flag tag
// sequences of England, Scotland and Wales, which are kept whole.
std::string strip_tags(std::string_view text);

// The presets' combined strip: U+034F, tag characters (flag tag sequences
// kept), noncharacters, U+1D173-1D17A, U+1BCA0-1BCA3, variation selectors
// and, with `strip_private_use`, private-use code points. With
// `keep_emoji_vs`, VS15 and VS16 stay when the character already written
// before them is a visible one.
void strip_format_chars(std::string_view text, bool strip_private_use, bool keep_emoji_vs, std::string& out);

// Drops the direction controls (U+061C, U+200E, U+200F, U+202A-202E,
// U+2066-2069), the soft hyphen U+00AD, the deprecated format characters
// U+206A-206F and the interlinear annotation controls U+FFF9-FFFB.
void strip_bidi(std::string_view text, std::string& out);

// Drops the private-use code points U+E000-F8FF, U+F0000-FFFFD and
// U+100000-10FFFD (the noncharacters at the ends of planes 15 and 16 stay).
void strip_pua(std::string_view text, std::string& out);

// Drops the 66 noncharacters: U+FDD0-FDEF and the last two code points of
// every plane.
void strip_noncharacters(std::string_view text, std::string& out);

// Drops U+FE00-FE0F and U+E0100-E01EF (not the Mongolian selectors
// U+180B-180F), with no exception for emoji.
void strip_variation_selectors(std::string_view text, std::string& out);

// An emoji flag tag sequence is U+1F3F4, five tag letters (U+E0061-E007A)
// spelling "gbeng", "gbsct" or "gbwls", and the cancel tag U+E007F: seven
// code points of four UTF-8 bytes each.
inline constexpr std::size_t kFlagTagSequenceLen = 7;
inline constexpr std::size_t kFlagTagSequenceBytes = 28;

// 7 when the first seven code points of `chars` form an emoji flag tag
// sequence, nothing otherwise. Only inspects.
std::optional<std::size_t> flag_tag_sequence_len(std::span<const char32_t> chars);

// The same test on UTF-8 text starting at the candidate position; a match
// covers kFlagTagSequenceBytes bytes.
std::optional<std::size_t> flag_tag_sequence_len(std::string_view text);

// The step shared by the tag-dropping filters, called with `pos` just after a
// U+1F3F4 that has already been written to `out`. Collects tag letters from
// `pos` on; when they end in U+E007F after exactly one of the three flag
// spellings, appends the letters and the cancel tag and returns the position
// after it. Otherwise appends nothing and returns the position of the code
// point that ended the letters (or the end of the text), which the caller
// handles next like any other: the collected letters are dropped.
std::size_t take_flag_tag_sequence(std::string_view text, std::size_t pos, std::string& out);

}  // namespace kelrad::strip
