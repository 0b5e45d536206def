"""The Unicode meaning of the Perl classes in slug patterns.

RE2 reads \\w, \\d and \\s as ASCII classes. Slug patterns give them their
Unicode meaning (UTS #18, Annex C): before a pattern is compiled, each of the
six escapes is rewritten into a bracket class of the ranges below, or of their
complement for \\W, \\D and \\S.
"""

from __future__ import annotations

from emit import banner, ranges_body, write
from ucd import UCD17, code_point_set, general_categories, merge_ranges, property_ranges

WORD_CATEGORIES = {"Mn", "Mc", "Me", "Nd", "Pc"}


def main() -> None:
    derived = property_ranges(UCD17 / "DerivedCoreProperties.txt", "Alphabetic")["Alphabetic"]
    props = property_ranges(UCD17 / "PropList.txt")
    categories = general_categories()
    digit = {cp for cp, cat in categories.items() if cat == "Nd"}
    word = code_point_set(derived) | code_point_set(props["Join_Control"])
    word |= {cp for cp, cat in categories.items() if cat in WORD_CATEGORIES}
    space = code_point_set(props["White_Space"])
    tables = [
        ("REGEX_WORD", merge_ranges(word), "\\w: Alphabetic, General_Category M, Nd or Pc, and Join_Control"),
        ("REGEX_DIGIT", merge_ranges(digit), "\\d: General_Category Nd"),
        ("REGEX_SPACE", merge_ranges(space), "\\s: White_Space"),
    ]
    head = banner(
        "gen_regex_classes.py",
        ["UCD 17.0.0 DerivedCoreProperties.txt", "extracted/DerivedGeneralCategory.txt", "PropList.txt"],
    )
    listing = "".join(f"//   {name:<11} {len(r):>4} ranges, {comment}\n" for name, r, comment in tables)
    total = sum(len(r) for _, r, _ in tables) * 8 / 1024
    declarations = "".join(f"extern const CodepointRange {name}[{len(r)}];\n" for name, r, _ in tables)
    write(
        "regex_classes.hpp",
        head
        + f"""// The Unicode Perl classes of slug patterns (UTS #18, Annex C), as sorted,
// disjoint inclusive ranges ({total:.1f} KiB in all):
{listing}// They are read once, to spell each class out in RE2's syntax; nothing searches them.
#pragma once

#include "util/ranges.hpp"

namespace kelrad::tables {{

{declarations}
}}  // namespace kelrad::tables
""",
    )
    definitions = "\n".join(
        f"const CodepointRange {name}[{len(r)}] = {{\n{ranges_body(r)}}};\n" for name, r, _ in tables
    )
    write(
        "regex_classes.cpp",
        head
        + f"""#include "tables/regex_classes.hpp"

namespace kelrad::tables {{

{definitions}
}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
