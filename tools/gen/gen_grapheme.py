"""Extended grapheme cluster boundaries (UAX #29) for Unicode 17.0.0, as a
state machine.

The rules GB3-GB13 decide a boundary between two code points from their
Grapheme_Cluster_Break values, with three pieces of context further back:
GB9c (Indic_Conjunct_Break: a consonant, a linker, then a consonant), GB11
(an Extended_Pictographic, extenders, a joiner, then another) and GB12/GB13
(the parity of a run of regional indicators). Code points that agree on the
three properties are interchangeable, so each gets the number of its class;
the context and the previous class make a state, and this generator runs the
rules over every class from every reachable state to build the transition
table: one lookup per code point decides the boundary and the next state.
"""

from __future__ import annotations

from emit import banner, two_stage, two_stage_definitions, wrap, write
from ucd import UCD17, data_lines, parse_range

INPUTS = [
    "UCD 17.0.0 auxiliary/GraphemeBreakProperty.txt",
    "emoji/emoji-data.txt (Extended_Pictographic)",
    "DerivedCoreProperties.txt (InCB)",
]

# Code points per property value, the check that the inputs are the ones expected.
EXPECTED = {"Extend": 2237, "SpacingMark": 381, "Prepend": 27, "Extended_Pictographic": 2848, "InCB=Linker": 20,
            "InCB=Consonant": 911, "InCB=Extend": 2217}
EXPECTED_CLASSES = 18
EXPECTED_STATES = 24


def properties() -> list[tuple[str, bool, str]]:
    """(Grapheme_Cluster_Break, Extended_Pictographic, Indic_Conjunct_Break) of every code point."""
    gcb = ["Other"] * 0x110000
    pictographic = [False] * 0x110000
    conjunct = ["None"] * 0x110000
    counts: dict[str, int] = {}
    for fields in data_lines(UCD17 / "auxiliary" / "GraphemeBreakProperty.txt"):
        first, last = parse_range(fields[0])
        counts[fields[1]] = counts.get(fields[1], 0) + last - first + 1
        gcb[first:last + 1] = [fields[1]] * (last - first + 1)
    for fields in data_lines(UCD17 / "emoji" / "emoji-data.txt"):
        if fields[1] == "Extended_Pictographic":
            first, last = parse_range(fields[0])
            counts[fields[1]] = counts.get(fields[1], 0) + last - first + 1
            pictographic[first:last + 1] = [True] * (last - first + 1)
    for fields in data_lines(UCD17 / "DerivedCoreProperties.txt"):
        if len(fields) == 3 and fields[1] == "InCB":
            first, last = parse_range(fields[0])
            key = "InCB=" + fields[2]
            counts[key] = counts.get(key, 0) + last - first + 1
            conjunct[first:last + 1] = [fields[2]] * (last - first + 1)
    for key, want in EXPECTED.items():
        assert counts[key] == want, (key, counts[key])
    return list(zip(gcb, pictographic, conjunct))


# A state: the previous code point's Grapheme_Cluster_Break (None at the start
# of the text), the GB11 progress (0 none, 1 after a pictograph and its
# extenders, 2 after the joiner that follows), the GB9c progress (0 none, 1
# after a consonant and its extenders, 2 after a linker that follows one) and
# whether an odd run of regional indicators ends at the previous code point.
State = tuple


def joins(state: State, cls: tuple[str, bool, str]) -> bool:
    """Whether no boundary lies before a code point of class `cls` (GB3-GB13)."""
    prev, emoji, conjunct, odd_regional = state
    cur, pictographic, incb = cls
    if prev is None:
        return False  # GB1
    if prev == "CR":
        return cur == "LF"  # GB3, GB4
    if prev in ("LF", "Control") or cur in ("CR", "LF", "Control"):
        return False  # GB4, GB5
    return (
        (prev == "L" and cur in ("L", "V", "LV", "LVT"))  # GB6
        or (prev in ("LV", "V") and cur in ("V", "T"))  # GB7
        or (prev in ("LVT", "T") and cur == "T")  # GB8
        or cur in ("Extend", "ZWJ")  # GB9
        or cur == "SpacingMark"  # GB9a
        or prev == "Prepend"  # GB9b
        or (incb == "Consonant" and conjunct == 2)  # GB9c
        or (pictographic and emoji == 2)  # GB11
        or (prev == "Regional_Indicator" and cur == "Regional_Indicator" and odd_regional)  # GB12, GB13
    )


def after(state: State, cls: tuple[str, bool, str]) -> State:
    """The state once a code point of class `cls` has been read."""
    _, emoji, conjunct, odd_regional = state
    cur, pictographic, incb = cls
    if pictographic:
        emoji = 1
    elif emoji == 1 and cur == "ZWJ":
        emoji = 2
    elif not (emoji == 1 and cur == "Extend"):
        emoji = 0
    if incb == "Consonant":
        conjunct = 1
    elif incb == "Linker" and conjunct:
        conjunct = 2
    elif incb != "Extend":
        conjunct = 0
    return (cur, emoji, conjunct, cur == "Regional_Indicator" and not odd_regional)


def state_machine(classes: list[tuple[str, bool, str]]) -> list[int]:
    """The transition table, row by state (0 is the start of a text), column by
    class: the offset of the next state's row shifted left by one, plus 1 when
    a boundary lies before the code point."""
    states: list[State] = [(None, 0, 0, False)]
    number = {states[0]: 0}
    table: list[int] = []
    for state in states:  # grows while new states turn up
        for cls in classes:
            nxt = after(state, cls)
            if nxt not in number:
                number[nxt] = len(states)
                states.append(nxt)
            table.append(number[nxt] * len(classes) << 1 | (not joins(state, cls)))
    assert len(states) == EXPECTED_STATES and max(table) < 1 << 16, len(states)
    return table


def class_values() -> tuple[list[tuple[str, bool, str]], list[int]]:
    """The classes, and the class number of every code point."""
    props = properties()
    # Other, no pictograph, no conjunct role first, so that class 0 is the plain one.
    classes = sorted(set(props), key=lambda c: (c != ("Other", False, "None"), c))
    assert len(classes) == EXPECTED_CLASSES, len(classes)
    number = {cls: i for i, cls in enumerate(classes)}
    return classes, [number[p] for p in props]


def main() -> None:
    classes, values = class_values()
    table = state_machine(classes)

    shift, stage1, stage2 = two_stage(values)
    blocks = len(stage2) >> shift
    runs = 1 + sum(1 for a, b in zip(values, values[1:]) if a != b)
    head = banner("gen_grapheme.py", INPUTS)
    class_list = "".join(f"//   {i:2}  {gcb}{', Extended_Pictographic' if pict else ''}"
                         f"{', InCB=' + incb if incb != 'None' else ''}\n" for i, (gcb, pict, incb) in enumerate(classes))
    write(
        "grapheme.hpp",
        head
        + f"""// Extended grapheme cluster boundaries (UAX #29) as a state machine.
//
// Each code point belongs to one of {len(classes)} classes, the combinations of
// Grapheme_Cluster_Break, Extended_Pictographic and Indic_Conjunct_Break
// that occur:
//
{class_list}//
// A two-stage table gives the class: kGraphemeBlock[cp >> {shift}] names one of
// {blocks} distinct blocks of {1 << shift} bytes in kGraphemeClass ({len(stage1)} + {len(stage2)} bytes,
// {(len(stage1) + len(stage2)) / 1024:.1f} KiB; a range search over the {runs} runs of equal class would take
// {runs.bit_length()} probes).
//
// kGraphemeTransitions[row + class], where row is a state's number times
// kGraphemeClassCount, holds the row of the next state shifted left by one,
// plus 1 when a cluster boundary lies before the code point; a scan keeps the
// row, so that one addition and one load take it to the next. Row 0 is the
// start of a text. The {EXPECTED_STATES} states carry the previous code point's
// Grapheme_Cluster_Break and the context of rules GB9c, GB11 and GB12/GB13;
// tools/gen/gen_grapheme.py derives the table from the rules. {len(table) * 2} bytes.
#pragma once

#include <cstdint>

namespace kelrad::tables {{

inline constexpr unsigned kGraphemeShift = {shift};
extern const std::uint8_t kGraphemeBlock[{len(stage1)}];
extern const std::uint8_t kGraphemeClass[{len(stage2)}];

inline constexpr unsigned kGraphemeClassCount = {len(classes)};
inline constexpr unsigned kGraphemeStateCount = {EXPECTED_STATES};
extern const std::uint16_t kGraphemeTransitions[{len(table)}];

// The class of a scalar value (at most U+10FFFF).
inline std::uint8_t grapheme_class(char32_t cp) noexcept {{
    return kGraphemeClass[(static_cast<unsigned>(kGraphemeBlock[cp >> kGraphemeShift]) << kGraphemeShift) |
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

{two_stage_definitions("kGraphemeBlock", "kGraphemeClass", "std::uint8_t", stage1, stage2)}
const std::uint16_t kGraphemeTransitions[{len(table)}] = {{
{wrap(str(v) for v in table)}}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
