"""Script, assigned-code-point and strong-direction tables.

The script table is block-based by design: 131 rows that name the script of
whole blocks (or of the parts of a few mixed blocks), plus 34 ranges of
punctuation and symbols inside those blocks that count as "Common". It is not
Scripts.txt: spoofing tests want a coarse, stable answer per block, and
everything outside the rows is "Common". The rows are written out below; the
generator checks that they are sorted and disjoint and that each lies inside
the block list (Blocks.txt), so a typo cannot slip in.

The assigned ranges (General_Category other than Cn, surrogates excluded),
the strong-direction rows (Bidi_Class L, and R or AL) and the Alphabetic
ranges come from the 17.0.0 data files.
"""

from __future__ import annotations

from emit import banner, ranges_body, wrap, write
from ucd import (UCD17, code_point_set, data_lines, general_categories, merge_ranges, merge_valued_ranges, parse_range,
                 property_ranges)

SCRIPT_ROWS = """
0041-005A Latin; 0061-007A Latin; 00C0-024F Latin; 0250-02AF Latin; 02EA-02EB Bopomofo; 0300-036F Inherited;
0370-03E1 Greek; 03E2-03EF Coptic; 03F0-03FF Greek; 0400-04FF Cyrillic; 0500-052F Cyrillic; 0530-058F Armenian;
0590-05FF Hebrew; 0600-06FF Arabic; 0700-074F Syriac; 0750-077F Arabic; 0780-07BF Thaana; 07C0-07FF NKo;
0860-086F Syriac; 08A0-08FF Arabic; 0900-097F Devanagari; 0980-09FF Bengali; 0A00-0A7F Gurmukhi;
0A80-0AFF Gujarati; 0B00-0B7F Oriya; 0B80-0BFF Tamil; 0C00-0C7F Telugu; 0C80-0CFF Kannada; 0D00-0D7F Malayalam;
0D80-0DFF Sinhala; 0E00-0E7F Thai; 0E80-0EFF Lao; 0F00-0FFF Tibetan; 1000-109F Myanmar; 10A0-10FF Georgian;
1100-11FF Hangul; 1200-137F Ethiopic; 1380-139F Ethiopic; 13A0-13FF Cherokee; 1400-167F CanadianAboriginal;
1680-169F Ogham; 16A0-16FF Runic; 1700-171F Tagalog; 1720-173F Hanunoo; 1740-175F Buhid; 1760-177F Tagbanwa;
1780-17FF Khmer; 1800-18AF Mongolian; 18B0-18FF CanadianAboriginal; 1950-197F TaiLe; 1980-19DF NewTaiLue;
19E0-19FF Khmer; 1A00-1A1F Buginese; 1A20-1AAF TaiTham; 1AB0-1AFF Inherited; 1B00-1B7F Balinese;
1B80-1BBF Sundanese; 1BC0-1BFF Batak; 1C50-1C7F OlChiki; 1C90-1CBF Georgian; 1D00-1D25 Latin; 1D26-1D2A Greek;
1D2B Cyrillic; 1D2C-1D5C Latin; 1D5D-1D61 Greek; 1D62-1D65 Latin; 1D66-1D6A Greek; 1D6B-1D77 Latin;
1D78 Cyrillic; 1D79-1D7F Latin; 1D80-1DBE Latin; 1DBF Greek; 1DC0-1DFF Inherited; 1E00-1EFF Latin;
1F00-1FFF Greek; 20D0-20FF Inherited; 2C60-2C7F Latin; 2C80-2CFF Coptic; 2D00-2D2F Georgian; 2D30-2D7F Tifinagh;
2D80-2DDF Ethiopic; 2DE0-2DFF Cyrillic; 2E80-2EFF Han; 2F00-2FDF Han; 3040-309F Hiragana; 30A0-30FF Katakana;
3100-312F Bopomofo; 3130-318F Hangul; 31A0-31BF Bopomofo; 31F0-31FF Katakana; 3400-4DBF Han; 4E00-9FFF Han;
A4D0-A4FF Lisu; A500-A63F Vai; A640-A69F Cyrillic; A6A0-A6FF Bamum; A720-A7FF Latin; A8E0-A8FF Devanagari;
A960-A97F Hangul; A980-A9DF Javanese; AA00-AA5F Cham; AA60-AA7F Myanmar; AAE0-AAFF MeeteiMayek;
AB00-AB2F Ethiopic; AB30-AB64 Latin; AB65 Greek; AB66-AB6F Latin; AB70-ABBF Cherokee; ABC0-ABFF MeeteiMayek;
AC00-D7AF Hangul; D7B0-D7FF Hangul; F900-FAFF Han; FB00-FB06 Latin; FB13-FB17 Armenian; FB1D-FB4F Hebrew;
FB50-FDFF Arabic; FE20-FE2F Inherited; FE70-FEFF Arabic; FF65-FF9F Katakana; 10000-1007F LinearB;
10080-100FF LinearB; 10330-1034F Gothic; 103A0-103DF OldPersian; 12000-123FF Cuneiform; 12400-1247F Cuneiform;
20000-2A6DF Han; 2A700-2B73F Han; 2B740-2B81F Han; 2B820-2CEAF Han; 2CEB0-2EBEF Han; 30000-3134F Han
"""

COMMON_OVERRIDES = """
00D7 00F7 0374 037E 0385 0387 0605 060C 061B 061F 0640 06DD 08E2 0964-0965 0E3F 0FD5-0FD8 10FB 16EB-16ED
1735-1736 1802-1803 1805 309B-309C 30A0 30FB-30FC A720-A721 A788-A78A A9CF AB5B AB6A-AB6B FD3E-FD3F FEFF FF65
FF70 FF9E-FF9F
"""

CJK_SCRIPTS = {"Hiragana", "Katakana", "Hangul", "Bopomofo", "Han"}


def hex_range(text: str) -> tuple[int, int]:
    a, _, b = text.partition("-")
    return int(a, 16), int(b or a, 16)


def script_rows() -> list[tuple[int, int, str]]:
    rows = []
    for item in SCRIPT_ROWS.replace("\n", " ").split(";"):
        span, name = item.split()
        rows.append((*hex_range(span), name))
    return rows


def check_sorted(rows) -> None:
    for prev, cur in zip(rows, rows[1:]):
        if not (prev[0] <= prev[1] < cur[0] <= cur[1]):
            raise SystemExit(f"rows out of order or overlapping: {prev} {cur}")


def strong_direction_rows() -> list[tuple[int, int, int]]:
    """Bidi_Class L as 0, R and AL as 1; neighbouring ranges of one class merged."""
    cls: dict[int, int] = {}
    for fields in data_lines(UCD17 / "extracted" / "DerivedBidiClass.txt"):
        value = {"L": 0, "R": 1, "AL": 1}.get(fields[1])
        if value is not None:
            a, b = parse_range(fields[0])
            for cp in range(a, b + 1):
                cls[cp] = value
    return merge_valued_ranges(cls)


def kib(size: int) -> str:
    return f"{size / 1024:.1f}"


def main() -> None:
    rows = script_rows()
    check_sorted(rows)
    overrides = [hex_range(item) for item in COMMON_OVERRIDES.split()]
    check_sorted(overrides)
    names = sorted({name for *_, name in rows} | {"Common"})
    if len(rows) != 131 or len(names) != 62:
        raise SystemExit(f"{len(rows)} script rows and {len(names)} names")

    gc = general_categories()
    assigned = merge_ranges({cp for cp, cat in gc.items() if cat not in ("Cn", "Cs")})
    strong = strong_direction_rows()
    ltr = sum(1 for r in strong if r[2] == 0)
    alphabetic = property_ranges(UCD17 / "DerivedCoreProperties.txt", "Alphabetic")["Alphabetic"]
    alphabetic = merge_ranges(code_point_set(alphabetic))

    head = banner(
        "gen_scripts.py",
        ["the block-based script rows", "UCD 17.0.0 DerivedGeneralCategory.txt, DerivedBidiClass.txt, "
         "DerivedCoreProperties.txt"],
    )
    name_consts = "".join(f'inline constexpr std::string_view k{n} = "{n}";\n' for n in names)
    write(
        "scripts.hpp",
        head
        + f"""// Scripts, assigned code points and strong bidirectional classes. Every table
// is a sorted array of disjoint inclusive ranges, searched by binary search.
//
// SCRIPT_RANGES: {len(rows)} rows naming the script of whole Unicode blocks (or parts
// of mixed blocks), {len(names) - 1} script names; a code point in no row is "Common".
// It is block-based on purpose: spoofing tests want one coarse answer per block,
// not the fine-grained Scripts.txt. COMMON_SCRIPT_OVERRIDES: {len(overrides)} ranges of
// punctuation and symbols inside those blocks that count as "Common".
// ASSIGNED_RANGES: {len(assigned)} ranges covering every code point assigned in Unicode
// 17.0.0 (General_Category other than Cn), private use included, surrogates
// excluded. STRONG_DIRECTION_RANGES: {len(strong)} rows of Bidi_Class L (class 0, {ltr} rows)
// and R or AL (class 1, {len(strong) - ltr} rows), neighbouring ranges of one class merged.
// ALPHABETIC: {len(alphabetic)} ranges of the Alphabetic property.
// {kib(len(rows) * 24)}, {kib(len(overrides) * 8)}, {kib(len(assigned) * 8)}, {kib(len(strong) * 12)} and {kib(len(alphabetic) * 8)} KiB: ranges rather than a
// per-code-point trie, since the tests read a few characters per word and a
// miss costs about ten probes.
#pragma once

#include <cstdint>
#include <string_view>

#include "util/ranges.hpp"

namespace kelrad::tables {{

{name_consts}
struct ScriptRange {{
    char32_t first;
    char32_t last;
    std::string_view name;
}};

inline constexpr std::uint8_t kStrongLeftToRight = 0;
inline constexpr std::uint8_t kStrongRightToLeft = 1;

extern const ScriptRange SCRIPT_RANGES[{len(rows)}];
extern const CodepointRange COMMON_SCRIPT_OVERRIDES[{len(overrides)}];
extern const CodepointRange ASSIGNED_RANGES[{len(assigned)}];
extern const ValuedRange<std::uint8_t> STRONG_DIRECTION_RANGES[{len(strong)}];
extern const CodepointRange ALPHABETIC[{len(alphabetic)}];

}}  // namespace kelrad::tables
""",
    )
    script_body = wrap(f"{{0x{a:04X}, 0x{b:04X}, k{n}}}" for a, b, n in rows)
    strong_body = wrap(f"{{0x{a:04X}, 0x{b:04X}, {c}}}" for a, b, c in strong)
    write(
        "scripts.cpp",
        head
        + f"""#include "tables/scripts.hpp"

namespace kelrad::tables {{

const ScriptRange SCRIPT_RANGES[{len(rows)}] = {{
{script_body}}};

const CodepointRange COMMON_SCRIPT_OVERRIDES[{len(overrides)}] = {{
{ranges_body(overrides)}}};

const CodepointRange ASSIGNED_RANGES[{len(assigned)}] = {{
{ranges_body(assigned)}}};

const ValuedRange<std::uint8_t> STRONG_DIRECTION_RANGES[{len(strong)}] = {{
{strong_body}}};

const CodepointRange ALPHABETIC[{len(alphabetic)}] = {{
{ranges_body(alphabetic)}}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
