"""Bases on which a negation overlay is a symbol, not zalgo.

U+0338 COMBINING LONG SOLIDUS OVERLAY and U+20D2 COMBINING LONG VERTICAL LINE
OVERLAY negate a symbol ("=" with U+0338 is "≠"); on a letter they are
decoration. The zalgo walk excuses one overlay on a base that is a symbol,
meaning none of:

- alphanumeric: Alphabetic, or General_Category Nd, Nl or No;
- a control or space: U+0000-0020, U+007F-009F, White_Space;
- a noncharacter;
- an invisible character (fillers, zero-width characters, shorthand format
  controls, musical symbol format characters, tags);
- a character whose compatibility decomposition begins with a space, a
  control or White_Space (spacing accents such as U+00A8 and U+00B4).

The table lists the code points that are NOT symbols, as ranges.
"""

from __future__ import annotations

from emit import banner, range_table
from ucd import UCD17, code_point_set, general_categories, merge_ranges, property_ranges, unicode_data

INVISIBLE = [
    (0x115F, 0x1160), (0x180E, 0x180E), (0x200B, 0x200D), (0x2060, 0x2064), (0x2800, 0x2800), (0x3164, 0x3164),
    (0xFEFF, 0xFEFF), (0xFFA0, 0xFFA0), (0x1BCA0, 0x1BCA3), (0x1D173, 0x1D17A), (0xE0000, 0xE007F),
]


def first_of_compatibility_decomposition() -> dict[int, int]:
    """The first code point of each character's full compatibility decomposition."""
    mapping: dict[int, int] = {}
    for fields in unicode_data():
        parts = fields[5].split()
        if parts and parts[0].startswith("<"):
            parts = parts[1:]
        if parts:
            mapping[int(fields[0], 16)] = int(parts[0], 16)

    def first(cp: int) -> int:
        while cp in mapping:
            cp = mapping[cp]
        return cp

    return {cp: first(cp) for cp in mapping}


def main() -> None:
    gc = general_categories()
    white_space = code_point_set(property_ranges(UCD17 / "PropList.txt", "White_Space")["White_Space"])
    alphabetic = code_point_set(property_ranges(UCD17 / "DerivedCoreProperties.txt", "Alphabetic")["Alphabetic"])

    not_symbol = set(alphabetic)
    not_symbol |= {cp for cp, cat in gc.items() if cat in ("Nd", "Nl", "No")}
    not_symbol |= set(range(0x00, 0x21)) | set(range(0x7F, 0xA0)) | white_space
    not_symbol |= set(range(0xFDD0, 0xFDF0)) | {plane << 16 | low for plane in range(17) for low in (0xFFFE, 0xFFFF)}
    not_symbol |= code_point_set(INVISIBLE)
    spacing = set(range(0x09, 0x0E)) | {0x20} | white_space | {cp for cp, cat in gc.items() if cat == "Cc"}
    not_symbol |= {cp for cp, first in first_of_compatibility_decomposition().items() if first in spacing}
    ranges = merge_ranges(not_symbol)

    head = banner(
        "gen_zalgo.py",
        ["UCD 17.0.0 UnicodeData.txt, DerivedGeneralCategory.txt, DerivedCoreProperties.txt, PropList.txt"],
    )
    prose = f"""// The bases that are not symbols for the negation-overlay rule of zalgo
// detection: alphanumerics (Alphabetic, Nd, Nl, No), controls and White_Space,
// noncharacters, invisible characters, and characters whose compatibility
// decomposition begins with a space or control (spacing accents). A combining
// long solidus or vertical line overlay on any other base negates a symbol and
// is not counted as a stacked mark.
// {len(ranges)} sorted, disjoint ranges ({len(ranges) * 8 / 1024:.1f} KiB) searched by binary search; the
// test runs only for the two overlay marks, so a bitmap would buy nothing.
"""
    range_table("zalgo", head, prose, "OVERLAY_NON_SYMBOL_BASES", ranges)


if __name__ == "__main__":
    main()
