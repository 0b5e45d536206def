"""Readers for the published Unicode data files under data/.

Every generator reads its inputs through these helpers so that the parsing
rules (comments, ranges, field trimming) are the same everywhere.
"""

from __future__ import annotations

import pathlib
from typing import Iterator

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT / "data"
UCD17 = DATA / "unicode-17.0.0" / "ucd"


def data_lines(path: pathlib.Path) -> Iterator[list[str]]:
    """Yields the ';'-separated, trimmed fields of every data line."""
    with open(path, encoding="utf-8", newline="\n") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def parse_range(text: str) -> tuple[int, int]:
    """'0041' or '0041..005A' as an inclusive (first, last) pair."""
    if ".." in text:
        a, b = text.split("..")
        return int(a, 16), int(b, 16)
    cp = int(text, 16)
    return cp, cp


def property_ranges(path: pathlib.Path, value: str | None = None) -> dict[str, list[tuple[int, int]]]:
    """Ranges per property value of a 'range ; value' file (optionally one value only)."""
    out: dict[str, list[tuple[int, int]]] = {}
    for fields in data_lines(path):
        if value is not None and fields[1] != value:
            continue
        out.setdefault(fields[1], []).append(parse_range(fields[0]))
    return out


def code_point_set(ranges: list[tuple[int, int]]) -> set[int]:
    s: set[int] = set()
    for a, b in ranges:
        s.update(range(a, b + 1))
    return s


def merge_ranges(cps: set[int] | list[int]) -> list[tuple[int, int]]:
    """Sorted, coalesced inclusive ranges covering exactly the given code points."""
    out: list[tuple[int, int]] = []
    for cp in sorted(cps):
        if out and out[-1][1] + 1 == cp:
            out[-1] = (out[-1][0], cp)
        else:
            out.append((cp, cp))
    return out


def merge_valued_ranges(values: dict[int, int]) -> list[tuple[int, int, int]]:
    """Sorted inclusive (first, last, value) rows; neighbours of one value coalesced."""
    rows: list[list[int]] = []
    for cp in sorted(values):
        if rows and rows[-1][1] + 1 == cp and rows[-1][2] == values[cp]:
            rows[-1][1] = cp
        else:
            rows.append([cp, cp, values[cp]])
    return [(a, b, v) for a, b, v in rows]


def general_categories() -> dict[int, str]:
    """General_Category of every code point (Cn included) from the derived file."""
    gc: dict[int, str] = {}
    for fields in data_lines(UCD17 / "extracted" / "DerivedGeneralCategory.txt"):
        a, b = parse_range(fields[0])
        for cp in range(a, b + 1):
            gc[cp] = fields[1]
    return gc


def unicode_data() -> Iterator[list[str]]:
    """UnicodeData.txt records, '<..., First>'/'<..., Last>' pairs expanded."""
    first: list[str] | None = None
    for fields in data_lines(UCD17 / "UnicodeData.txt"):
        name = fields[1]
        if name.endswith(", First>"):
            first = fields
            continue
        if name.endswith(", Last>") and first is not None:
            for cp in range(int(first[0], 16), int(fields[0], 16) + 1):
                yield [f"{cp:04X}"] + first[1:]
            first = None
            continue
        yield fields
