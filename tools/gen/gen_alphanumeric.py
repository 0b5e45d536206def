"""Alphanumeric characters: the Alphabetic property or a numeric general category.

The transliteration engine separates CJK syllables from the output before them
only when that output ends in an alphanumeric character (Alphabetic, or
General_Category Nd, Nl, No), so that nothing is inserted next to punctuation
or spaces.
"""

from __future__ import annotations

from emit import banner, range_table
from ucd import UCD17, code_point_set, general_categories, merge_ranges, property_ranges

NUMERIC = {"Nd", "Nl", "No"}


def main() -> None:
    alphabetic = property_ranges(UCD17 / "DerivedCoreProperties.txt", "Alphabetic")["Alphabetic"]
    members = code_point_set(alphabetic)
    members |= {cp for cp, cat in general_categories().items() if cat in NUMERIC}
    ranges = merge_ranges(members)
    head = banner("gen_alphanumeric.py", ["UCD 17.0.0 DerivedCoreProperties.txt", "DerivedGeneralCategory.txt"])
    prose = f"""// Alphanumeric code points: Alphabetic, or General_Category Nd, Nl or No.
// {len(ranges)} sorted, disjoint inclusive ranges ({len(ranges) * 8 / 1024:.1f} KiB) searched by binary
// search. ASCII is answered before the search; the engine asks only about the
// last character it wrote before a CJK syllable, so a bitmap would buy little.
"""
    accessor = """inline bool is_alphanumeric(char32_t cp) noexcept {
    if (cp < 0x80) {
        return (cp >= U'0' && cp <= U'9') || ((cp | 0x20) >= U'a' && (cp | 0x20) <= U'z');
    }
    return in_ranges(ALPHANUMERIC, cp);
}
"""
    range_table("alphanumeric", head, prose, "ALPHANUMERIC", ranges, accessor)


if __name__ == "__main__":
    main()
