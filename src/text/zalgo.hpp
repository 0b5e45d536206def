// Zalgo detection and stripping, and repeated-mark collapsing.
//
// Zalgo text piles combining marks on its letters. The measure here is the
// number of marks of one canonical combining class stacked on one base
// character (over the canonical decomposition), so ordinary accented text,
// one mark per class, never counts. One negation overlay (U+0338, U+20D2) on
// a symbol base is excused: "=" with U+0338 is "≠", not zalgo.
//
// Only the stretches that normalization could change are looked at
// (normalize::next_unstable_span); every operation is linear in the text
// length, also on a run of a million combining marks.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kelrad::zalgo {

// True when `mark` is U+0338 or U+20D2 and `base` is present and a symbol:
// not alphanumeric, not a control, space, noncharacter or invisible character,
// and not a character whose compatibility decomposition begins with a space or
// control (a spacing accent). Shared with accent stripping.
bool is_negation_overlay(char32_t mark, std::optional<char32_t> base) noexcept;

// True when some base carries more than `threshold` marks of one combining
// class. With threshold 0 any mark is zalgo, except one excused overlay per
// base; above 0, class-0 marks (spacing and enclosing marks) are not counted.
bool is_zalgo(std::string_view text, std::size_t threshold) noexcept;

// False for pure-ASCII text, otherwise is_zalgo(text, 3).
bool is_zalgo_default(std::string_view text) noexcept;

// `out` is emptied, then receives the NFC of the text with at most `max_marks`
// marks of each class kept per base (the first ones, in canonical order).
// Pure-ASCII text is copied unchanged.
void strip_zalgo(std::string_view text, std::size_t max_marks, std::string& out);

// The first mark (of a nonzero class) that repeats the previous such mark on
// the same base in canonical order; class-0 marks between them are ignored.
std::optional<char32_t> find_repeated_mark(std::string_view text) noexcept;

// When the text has a repeated mark, writes into `out` the NFC of the text
// with every repeat dropped and returns true; otherwise returns false and
// leaves `out` untouched.
bool collapse_repeated_marks(std::string_view text, std::string& out);

}  // namespace kelrad::zalgo
