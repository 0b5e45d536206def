"""Terminal column classes per code point, from the Unicode 15.1.0 data.

Class 0, zero width: General_Category Cc, Cf, Mn, Me; the spacing marks with
Grapheme_Extend (they extend the cluster and take no column of their own); the
Hangul fillers and the medial and final jamo, which combine with the leading
jamo before them; the halfwidth katakana sound marks U+FF9E and U+FF9F; and the
default-ignorable code points that are still unassigned. Class 2, wide:
East_Asian_Width W or F, plus the whole of planes 2 and 3. Class 3,
ambiguous: East_Asian_Width A. Class 0 wins over the others; every other
code point has class 1 and is not listed.

The width table stays at Unicode 15.1.0, where terminal emulators' own tables
are: a character's General_Category is its 17.0.0 category when DerivedAge
puts it at 15.1 or earlier, and unassigned otherwise.
"""

from __future__ import annotations

from emit import banner, wrap, write
from ucd import DATA, UCD17, code_point_set, data_lines, general_categories, parse_range

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


def rows_of(cls: dict[int, int]) -> list[list[int]]:
    rows: list[list[int]] = []
    for cp in sorted(cls):
        if rows and rows[-1][1] + 1 == cp and rows[-1][2] == cls[cp]:
            rows[-1][1] = cp
        else:
            rows.append([cp, cp, cls[cp]])
    return rows


def main() -> None:
    rows = rows_of(classes())
    per_class = {c: sum(1 for r in rows if r[2] == c) for c in (0, 2, 3)}
    assert per_class == EXPECTED_ROWS and len(rows) == 673, per_class

    head = banner("gen_width.py", ["UCD 15.1.0 EastAsianWidth.txt", "UCD 17.0.0 DerivedGeneralCategory.txt, "
                                   "DerivedAge.txt"])
    write(
        "width.hpp",
        head
        + f"""// Terminal column classes (Unicode 15.1.0): 0 zero width (Cc, Cf, Mn, Me,
// spacing marks with Grapheme_Extend, Hangul fillers and medial and final
// jamo, U+FF9E and U+FF9F, unassigned default-ignorables), 2 wide
// (East_Asian_Width W or F, all of planes 2 and 3), 3 ambiguous
// (East_Asian_Width A). Zero width wins over the others. A code point in no
// row has class 1.
//
// WIDTH_RANGES: {len(rows)} sorted, disjoint rows ({per_class[0]} of class 0, {per_class[2]} of class 2,
// {per_class[3]} of class 3), {len(rows) * 12 / 1024:.1f} KiB, searched by a branch-free binary search of
// ten probes. Callers answer ASCII before the search.
#pragma once

#include <cstdint>

#include "util/ranges.hpp"

namespace kelrad::tables {{

extern const ValuedRange<std::uint8_t> WIDTH_RANGES[{len(rows)}];

}}  // namespace kelrad::tables
""",
    )
    write(
        "width.cpp",
        head
        + f"""#include "tables/width.hpp"

namespace kelrad::tables {{

const ValuedRange<std::uint8_t> WIDTH_RANGES[{len(rows)}] = {{
{wrap(f"{{0x{a:04X}, 0x{b:04X}, {c}}}" for a, b, c in rows)}}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
