"""Characters that debug literals in error messages write as \\u{hex}.

A character is escaped when it is not printable (General_Category Cc, Cf, Cs,
Co, Cn, Zl, Zp, or Zs other than U+0020) or when it extends a grapheme
(Grapheme_Extend), so that a message never shows a bare combining mark or an
invisible character.
"""

from __future__ import annotations

from emit import banner, range_table
from ucd import UCD17, code_point_set, general_categories, merge_ranges, property_ranges

HIDDEN = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"}


def main() -> None:
    gc = general_categories()
    escaped = {cp for cp, cat in gc.items() if cat in HIDDEN}
    escaped.discard(0x20)
    extend = property_ranges(UCD17 / "DerivedCoreProperties.txt", "Grapheme_Extend")["Grapheme_Extend"]
    escaped |= code_point_set(extend)
    ranges = merge_ranges(escaped)
    head = banner("gen_debug_escape.py", ["UCD 17.0.0 DerivedGeneralCategory.txt", "DerivedCoreProperties.txt"])
    prose = f"""// Code points that quoted literals in messages escape as \\u{{hex}}: the
// non-printable categories (Cc Cf Cs Co Cn Zl Zp, Zs but the space) and
// Grapheme_Extend. {len(ranges)} sorted, disjoint inclusive ranges searched by binary
// search; messages are rare, so a bitmap would cost more than it saves.
"""
    accessor = "inline bool needs_debug_escape(char32_t cp) noexcept { return in_ranges(kDebugEscapeRanges, cp); }\n"
    range_table("debug_escape", head, prose, "kDebugEscapeRanges", ranges, accessor)


if __name__ == "__main__":
    main()
