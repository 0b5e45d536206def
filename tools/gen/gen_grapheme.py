"""Grapheme cluster properties (UAX #29) for Unicode 17.0.0.

One byte per code point: the Grapheme_Cluster_Break value, the
Extended_Pictographic flag (rule GB11) and the Indic_Conjunct_Break value
(rule GB9c), behind a two-stage lookup.
"""

from __future__ import annotations

from emit import banner, wrap, write
from gen_normalization import build_trie
from ucd import UCD17, data_lines, parse_range

# Grapheme_Cluster_Break values in the order of the C++ enum; Other is 0.
BREAK_VALUES = [
    "Other", "CR", "LF", "Control", "Extend", "ZWJ", "Regional_Indicator", "Prepend", "SpacingMark",
    "L", "V", "T", "LV", "LVT",
]
PICTOGRAPHIC = 0x10
CONJUNCT_SHIFT = 5
CONJUNCT_VALUES = ["None", "Linker", "Consonant", "Extend"]

# Code points per value, the check that the inputs are the ones expected.
EXPECTED = {"Extend": 2237, "SpacingMark": 381, "Prepend": 27, "pictographic": 2848, "Linker": 20,
            "Consonant": 911, "conjunct Extend": 2217}

INPUTS = [
    "UCD 17.0.0 auxiliary/GraphemeBreakProperty.txt",
    "emoji/emoji-data.txt (Extended_Pictographic)",
    "DerivedCoreProperties.txt (InCB)",
]


def properties() -> list[int]:
    values = [0] * 0x110000
    counts: dict[str, int] = {}

    def mark(key: str, first: int, last: int, bits: int) -> None:
        counts[key] = counts.get(key, 0) + last - first + 1
        for cp in range(first, last + 1):
            values[cp] |= bits

    for fields in data_lines(UCD17 / "auxiliary" / "GraphemeBreakProperty.txt"):
        mark(fields[1], *parse_range(fields[0]), BREAK_VALUES.index(fields[1]))
    for fields in data_lines(UCD17 / "emoji" / "emoji-data.txt"):
        if fields[1] == "Extended_Pictographic":
            mark("pictographic", *parse_range(fields[0]), PICTOGRAPHIC)
    for fields in data_lines(UCD17 / "DerivedCoreProperties.txt"):
        if len(fields) == 3 and fields[1] == "InCB":
            key = "conjunct Extend" if fields[2] == "Extend" else fields[2]
            mark(key, *parse_range(fields[0]), CONJUNCT_VALUES.index(fields[2]) << CONJUNCT_SHIFT)
    for key, want in EXPECTED.items():
        assert counts[key] == want, (key, counts[key])
    return values


def main() -> None:
    values = properties()
    tries = {s: build_trie(values, s) for s in range(5, 10)}
    shift = min(tries, key=lambda s: len(tries[s][0]) + len(tries[s][1]))
    stage1, stage2 = tries[shift]
    blocks = len(stage2) >> shift
    assert blocks <= 256
    runs = 1 + sum(1 for a, b in zip(values, values[1:]) if a != b)
    head = banner("gen_grapheme.py", INPUTS)
    enum_body = "".join(f"    {name.replace('_', '')} = {i},\n" for i, name in enumerate(BREAK_VALUES))
    write(
        "grapheme.hpp",
        head
        + f"""// The code point properties that extended grapheme clusters (UAX #29) are
// cut by, one byte per code point:
//
//   bits 0-3  Grapheme_Cluster_Break (`GraphemeBreak` below)
//   bit 4     Extended_Pictographic (rule GB11)
//   bits 5-6  Indic_Conjunct_Break: 0 None, 1 Linker, 2 Consonant, 3 Extend (rule GB9c)
//
// A two-stage table: kGraphemeBlock[cp >> {shift}] names one of {blocks} distinct blocks
// of {1 << shift} bytes in kGraphemeProps. {len(stage1)} + {len(stage2)} bytes
// ({(len(stage1) + len(stage2)) / 1024:.1f} KiB): two dependent loads per code point, the same for every
// plane, where a range search over the {runs} runs of equal bytes would take {runs.bit_length()} probes.
#pragma once

#include <cstdint>

namespace kelrad::tables {{

enum class GraphemeBreak : std::uint8_t {{
{enum_body}}};

inline constexpr std::uint8_t kGraphemeBreakMask = 0x0F;
inline constexpr std::uint8_t kExtendedPictographic = 0x{PICTOGRAPHIC:02X};
inline constexpr unsigned kConjunctShift = {CONJUNCT_SHIFT};
inline constexpr std::uint8_t kConjunctLinker = 1;
inline constexpr std::uint8_t kConjunctConsonant = 2;
inline constexpr std::uint8_t kConjunctExtend = 3;

inline constexpr unsigned kGraphemeShift = {shift};
extern const std::uint8_t kGraphemeBlock[{len(stage1)}];
extern const std::uint8_t kGraphemeProps[{len(stage2)}];

// The property byte of a scalar value (at most U+10FFFF).
inline std::uint8_t grapheme_props(char32_t cp) noexcept {{
    return kGraphemeProps[(static_cast<unsigned>(kGraphemeBlock[cp >> kGraphemeShift]) << kGraphemeShift) |
                          (cp & ((1U << kGraphemeShift) - 1))];
}}

}}  // namespace kelrad::tables
""",
    )
    write(
        "grapheme.cpp",
        head
        + f"""#include "tables/grapheme.hpp"

namespace kelrad::tables {{

const std::uint8_t kGraphemeBlock[{len(stage1)}] = {{
{wrap(str(v) for v in stage1)}}};

const std::uint8_t kGraphemeProps[{len(stage2)}] = {{
{wrap(str(v) for v in stage2)}}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
