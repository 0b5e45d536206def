"""Code points that never occupy a cell of their own when deletions are replayed.

A terminal draws a combining mark, a zero-width or tag character, a variation
selector or a direction control on top of (or between) the visible characters,
so BACKSPACE erases it together with the character it follows. These are the
characters of General_Category Mn, Mc and Me, plus the fixed list of invisible
format characters below.
"""

from __future__ import annotations

from emit import banner, ranges_body, write
from ucd import general_categories, merge_ranges

MARKS = {"Mn", "Mc", "Me"}

# Zero-width characters, tag characters, variation selectors and direction
# controls: drawn nowhere, so they ride with the preceding character.
INVISIBLE = [
    (0x200B, 0x200D), (0x180E, 0x180E), (0x2060, 0x2064), (0xFEFF, 0xFEFF),
    (0x1BCA0, 0x1BCA3), (0x1D173, 0x1D17A),
    (0xE0000, 0xE007F), (0xFE00, 0xFE0F), (0xE0100, 0xE01EF),
    (0x061C, 0x061C), (0x200E, 0x200F), (0x202A, 0x202E), (0x2066, 0x2069),
]


def main() -> None:
    gc = general_categories()
    members = {cp for cp, cat in gc.items() if cat in MARKS}
    for a, b in INVISIBLE:
        members.update(range(a, b + 1))
    ranges = merge_ranges(members)
    assert ranges[0][0] >= 0x300, "the header promises nothing below U+0300"
    head = banner("gen_visible_base.py", ["UCD 17.0.0 DerivedGeneralCategory.txt"])
    write(
        "visible_base.hpp",
        head
        + f"""// Code points that are not a visible base when deletions are replayed: the
// combining marks (General_Category Mn, Mc, Me) and the invisible format
// characters that ride with the character before them (zero-width characters,
// tag characters, variation selectors, direction controls). {len(ranges)} sorted,
// disjoint inclusive ranges searched by binary search; nothing below U+0300 is
// in the set, which callers test first, so ordinary text never searches.
#pragma once

#include "util/ranges.hpp"

namespace kelrad::tables {{

extern const CodepointRange kNonVisibleBaseRanges[{len(ranges)}];

inline bool is_non_visible_base(char32_t cp) noexcept {{
    return cp >= 0x300 && in_ranges(kNonVisibleBaseRanges, cp);
}}

}}  // namespace kelrad::tables
""",
    )
    write(
        "visible_base.cpp",
        head
        + f"""#include "tables/visible_base.hpp"

namespace kelrad::tables {{

const CodepointRange kNonVisibleBaseRanges[{len(ranges)}] = {{
{ranges_body(ranges)}}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
