"""What terminal width needs to know of each code point, from the Unicode 15.1.0
data: its column class, whether it is an emoji base (Emoji_Presentation or a
regional indicator) or has the Emoji property, and whether it is a prepended
concatenation mark.

Column classes:

Class 0, zero width: General_Category Cc, Cf, Mn, Me; the spacing marks with
Grapheme_Extend (they extend the cluster and take no column of their own); the
Hangul fillers and the medial and final jamo, which combine with the leading
jamo before them; the halfwidth katakana sound marks U+FF9E and U+FF9F; and the
default-ignorable code points that are still unassigned. Class 2, wide:
East_Asian_Width W or F, plus the whole of planes 2 and 3. Class 3,
ambiguous: East_Asian_Width A. Class 0 wins over the others; every other
code point has class 1.

The width table stays at Unicode 15.1.0, where terminal emulators' own tables
are: a character's General_Category is its 17.0.0 category when DerivedAge
puts it at 15.1 or earlier, and unassigned otherwise.
"""

from __future__ import annotations

from emit import banner, two_stage, two_stage_definitions, write
from ucd import (DATA, UCD17, code_point_set, data_lines, general_categories, merge_valued_ranges, parse_range,
                 property_ranges)

EAW15 = DATA / "unicode-15.1.0" / "ucd" / "EastAsianWidth.txt"

ZERO_CATEGORIES = {"Cc", "Cf", "Mn", "Me"}
# The spacing marks (Mc) that have Grapheme_Extend in Unicode 15.1. The
# property moved in 16.0, so the 17.0 files cannot derive this list; the
# generator checks only that each is an Mc of 15.1 or earlier.
EXTENDING_SPACING_MARKS = [
    0x09BE, 0x09D7, 0x0B3E, 0x0B57, 0x0BBE, 0x0BD7, 0x0CC2, 0x0CD5, 0x0CD6, 0x0D3E, 0x0D57, 0x0DCF, 0x0DDF,
    0x1B35, 0x302E, 0x302F, 0x1133E, 0x11357, 0x114B0, 0x114BD, 0x115AF, 0x1171E, 0x11930, 0x1D165,
    *range(0x1D16E, 0x1D173),
]
JAMO_AND_FILLERS = [(0x115F, 0x11FF), (0x3164, 0x3164), (0xFFA0, 0xFFA0), (0xFF9E, 0xFF9F)]
UNASSIGNED_IGNORABLES = [
    (0x2065, 0x2065), (0xFFF0, 0xFFF8), (0xE0000, 0xE0000), (0xE0002, 0xE001F), (0xE0080, 0xE00FF),
    (0xE01F0, 0xE0FFF),
]
WIDE_PLANES = [(0x20000, 0x2FFFD), (0x30000, 0x3FFFD)]

EXPECTED_ROWS = {0: 375, 2: 122, 3: 176}

PREPENDED_CONCATENATION_MARKS = [*range(0x0600, 0x0606), 0x06DD, 0x070F, 0x0890, 0x0891, 0x08E2, 0x110BD, 0x110CD]
# Fields of the property byte; the C++ header repeats them.
EMOJI_BASE, EMOJI, PREPENDED, LONE_SHIFT, LONE_AMBIGUOUS = 0x04, 0x08, 0x10, 5, 0x80


def age_at_most_15_1() -> set[int]:
    out: set[int] = set()
    for fields in data_lines(UCD17 / "DerivedAge.txt"):
        major, minor = (int(x) for x in fields[1].split("."))
        if (major, minor) <= (15, 1):
            a, b = parse_range(fields[0])
            out.update(range(a, b + 1))
    return out


def classes() -> dict[int, int]:
    old = age_at_most_15_1()
    gc = {cp: cat for cp, cat in general_categories().items() if cp in old}
    assert all(gc.get(cp) == "Mc" for cp in EXTENDING_SPACING_MARKS)

    cls: dict[int, int] = {}
    for fields in data_lines(EAW15):
        value = {"W": 2, "F": 2, "A": 3}.get(fields[1])
        if value is not None:
            a, b = parse_range(fields[0])
            cls.update(dict.fromkeys(range(a, b + 1), value))
    for a, b in WIDE_PLANES:
        cls.update(dict.fromkeys(range(a, b + 1), 2))
    zero = {cp for cp, cat in gc.items() if cat in ZERO_CATEGORIES} | set(EXTENDING_SPACING_MARKS)
    zero |= code_point_set(JAMO_AND_FILLERS) | code_point_set(UNASSIGNED_IGNORABLES)
    cls.update(dict.fromkeys(zero, 0))
    return cls


def properties(cls: dict[int, int]) -> list[int]:
    """The byte of every code point: class, emoji base, Emoji, prepended mark."""
    props = property_ranges(DATA / "unicode-15.1.0" / "ucd" / "emoji" / "emoji-data.txt")
    emoji = code_point_set(props["Emoji"])
    emoji_base = code_point_set(props["Emoji_Presentation"]) | set(range(0x1F1E6, 0x1F200))
    values = [cls.get(cp, 1) for cp in range(0x110000)]
    for cp in emoji_base:
        values[cp] |= EMOJI_BASE
    for cp in emoji:
        values[cp] |= EMOJI
    for cp in PREPENDED_CONCATENATION_MARKS:
        values[cp] |= PREPENDED
    # The width of the code point as a cluster of its own: 2 for an emoji
    # base, else by class, ambiguous counted narrow and flagged.
    for cp, v in enumerate(values):
        cls = v & 3
        lone = 2 if v & EMOJI_BASE else {0: 0, 1: 1, 2: 2, 3: 1}[cls]
        values[cp] |= lone << LONE_SHIFT | (LONE_AMBIGUOUS if cls == 3 and not v & EMOJI_BASE else 0)
    return values


def main() -> None:
    cls = classes()
    rows = merge_valued_ranges(cls)
    per_class = {c: sum(1 for r in rows if r[2] == c) for c in (0, 2, 3)}
    assert per_class == EXPECTED_ROWS and len(rows) == 673, per_class
    values = properties(cls)
    shift, stage1, stage2 = two_stage(values)

    head = banner("gen_width.py", ["UCD 15.1.0 EastAsianWidth.txt, emoji/emoji-data.txt",
                                   "UCD 17.0.0 DerivedGeneralCategory.txt, DerivedAge.txt"])
    write(
        "width.hpp",
        head
        + f"""// What terminal width needs to know of a code point (Unicode 15.1.0), one
// byte each:
//
//   bits 0-1  column class: 0 zero width (Cc, Cf, Mn, Me, spacing marks with
//             Grapheme_Extend, Hangul fillers and medial and final jamo,
//             U+FF9E and U+FF9F, unassigned default-ignorables), 1 narrow, 2
//             wide (East_Asian_Width W or F, all of planes 2 and 3), 3 East
//             Asian ambiguous. Zero width wins over the others.
//   bit 2     emoji base: Emoji_Presentation, or a regional indicator
//   bit 3     Emoji
//   bit 4     prepended concatenation mark (U+0600-0605, U+06DD, ...)
//   bits 5-6  the width of the code point as a cluster of its own, with an
//             ambiguous character counted narrow: 2 for an emoji base, else
//             0, 1, 2, 1 by class
//   bit 7     set when that width is 2 instead with ambiguous_wide
//
// The classes come from {len(rows)} runs of equal class ({per_class[0]} of class 0, {per_class[2]} of class 2,
// {per_class[3]} of class 3, class 1 elsewhere). A two-stage table: kWidthBlock[cp >> {shift}] names one
// of {len(stage2) >> shift} distinct blocks of {1 << shift} bytes in kWidthProps, {(len(stage1) + len(stage2)) / 1024:.1f} KiB. Two dependent
// loads per cluster, where a search of the runs would take ten probes and two
// more searches the emoji ranges.
#pragma once

#include <cstdint>

namespace kelrad::tables {{

inline constexpr std::uint8_t kWidthClassMask = 0x03;
inline constexpr std::uint8_t kWidthEmojiBase = 0x{EMOJI_BASE:02X};
inline constexpr std::uint8_t kWidthEmoji = 0x{EMOJI:02X};
inline constexpr std::uint8_t kWidthPrepended = 0x{PREPENDED:02X};
inline constexpr unsigned kWidthLoneShift = {LONE_SHIFT};
inline constexpr std::uint8_t kWidthLoneAmbiguous = 0x{LONE_AMBIGUOUS:02X};

inline constexpr unsigned kWidthShift = {shift};
extern const std::uint8_t kWidthBlock[{len(stage1)}];
extern const std::uint8_t kWidthProps[{len(stage2)}];

// The property byte of a scalar value (at most U+10FFFF).
inline std::uint8_t width_props(char32_t cp) noexcept {{
    return kWidthProps[(static_cast<unsigned>(kWidthBlock[cp >> kWidthShift]) << kWidthShift) |
                       (cp & ((1U << kWidthShift) - 1))];
}}

}}  // namespace kelrad::tables
""",
    )
    write(
        "width.cpp",
        head
        + f"""#include "tables/width.hpp"

namespace kelrad::tables {{

{two_stage_definitions("kWidthBlock", "kWidthProps", "std::uint8_t", stage1, stage2)}
}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
