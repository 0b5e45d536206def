// Terminal width: how many monospace columns (0, 1 or 2) an extended grapheme
// cluster occupies, with emoji presentation, keycaps, flags and East Asian
// ambiguous characters handled. Character widths follow Unicode 15.1.0,
// where terminal emulators' own tables are.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelrad::width {

// The column class of a code point: 0 zero width, 1 narrow, 2 wide, 3
// East Asian ambiguous.
std::uint8_t width_class(char32_t c) noexcept;

// The columns of `cluster` taken as one extended grapheme cluster (it is not
// checked to be one): the width of its base character (after any prepended
// concatenation marks), made 2 by emoji presentation (Emoji_Presentation,
// U+FE0F, a keycap, a regional indicator) and 1 by U+FE0E. Ambiguous
// characters take 2 columns with `ambiguous_wide`, else 1. Empty: 0.
std::uint64_t grapheme_width(std::string_view cluster, bool ambiguous_wide) noexcept;

// The sum of grapheme_width over the extended grapheme clusters of the text.
std::uint64_t text_width(std::string_view text, bool ambiguous_wide) noexcept;

}  // namespace kelrad::width
