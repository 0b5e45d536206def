"""Per-code-point data of the presets' verification guard, Unicode 17.0.0.

One byte per code point, behind a two-stage lookup:

- bit 0, combining: canonical combining class not 0, or General_Category M.
  Counting only a non-zero class misses the spacing and enclosing marks of
  class 0 (U+093F, U+0488), which mark removal drops and some of which
  compose with the letter before them (U+0BC6 U+0BBE is U+0BCA).
- bit 1, NFKC-unstable: the NFKC of the code point alone is not itself
  (NFKC_Quick_Check No); or it may compose with a neighbour (NFKC_Quick_Check
  Maybe, which includes the Lo letter U+16D68 that follows U+16D63 in
  U+16D6A); or it is a conjoining jamo or U+16D67, whose composition depends
  on the characters around it.
- bits 2-4: how many code points of its full canonical decomposition are
  combining in the sense of bit 0 (a combining code point without a
  decomposition counts itself).
"""

from __future__ import annotations

from emit import banner, two_stage, two_stage_definitions, write
from gen_normalization import Ucd

COMBINING = 0x01
NFKC_UNSTABLE = 0x02
DECOMPOSITION_MARKS_SHIFT = 2
MAX_DECOMPOSITION_MARKS = 7

# Conjoining jamo blocks (UAX #15 Hangul composition) and U+16D67, the
# Kirat Rai vowel sign that joins the vowel before it.
NEIGHBOUR_DEPENDENT = [(0x1100, 0x11FF), (0xA960, 0xA97F), (0xD7B0, 0xD7FF), (0x16D67, 0x16D67)]

# Counts the table is built from and the guard's soundness argument names:
# marks of class 0 that are second members of primary composites, and
# NFKC_Quick_Check=Maybe code points.
EXPECTED_CLASS0_COMPOSING_MARKS = 32
EXPECTED_NFKC_MAYBE = 132
EXPECTED = {"combining": 2543, "nfkc_unstable": 5417, "with_decomposition_marks": 3545}

INPUTS = [
    "UCD 17.0.0 UnicodeData.txt",
    "DerivedNormalizationProps.txt",
    "extracted/DerivedCombiningClass.txt",
    "extracted/DerivedGeneralCategory.txt",
]


def properties(ucd: Ucd) -> tuple[list[int], dict[str, int]]:
    def combining(cp: int) -> bool:
        return ucd.combining_class(cp) != 0 or cp in ucd.marks

    class0_composing = {b for (_, b) in ucd.primary_composites() if ucd.combining_class(b) == 0 and b in ucd.marks}
    assert len(class0_composing) == EXPECTED_CLASS0_COMPOSING_MARKS, len(class0_composing)
    maybe = {cp for cp, qc in ucd.qc["NFKC"].items() if qc == "M"}
    assert len(maybe) == EXPECTED_NFKC_MAYBE, len(maybe)

    neighbour = {cp for a, b in NEIGHBOUR_DEPENDENT for cp in range(a, b + 1)}
    values = [0] * 0x110000
    counts = {"combining": 0, "nfkc_unstable": 0, "with_decomposition_marks": 0, "max_decomposition_marks": 0}
    for cp in range(0x110000):
        v = 0
        if combining(cp):
            v |= COMBINING
            counts["combining"] += 1
        if ucd.quick_check("NFKC", cp) != "Y" or cp in neighbour:
            v |= NFKC_UNSTABLE
            counts["nfkc_unstable"] += 1
        marks = sum(1 for d in ucd.decompose(cp, False) if combining(d))
        if marks:
            assert marks <= MAX_DECOMPOSITION_MARKS, hex(cp)
            v |= marks << DECOMPOSITION_MARKS_SHIFT
            counts["with_decomposition_marks"] += 1
            counts["max_decomposition_marks"] = max(counts["max_decomposition_marks"], marks)
        values[cp] = v
    for key, want in EXPECTED.items():
        assert counts[key] == want, (key, counts[key])
    return values, counts


def main() -> None:
    values, counts = properties(Ucd())
    shift, stage1, stage2 = two_stage(values)
    blocks = len(stage2) >> shift
    head = banner("gen_guard.py", INPUTS)
    write(
        "guard.hpp",
        head
        + f"""// What the presets' verification guard asks of a non-ASCII code point
// beyond plain ranges, one byte per code point:
//
//   bit 0     combining: canonical combining class not 0, or General_Category
//             M ({counts["combining"]} code points). Class-0 marks count: mark removal
//             drops them and some compose with the letter before them.
//   bit 1     NFKC-unstable: NFKC_Quick_Check No or Maybe, a conjoining jamo,
//             or U+16D67 ({counts["nfkc_unstable"]} code points): NFKC could change the
//             code point alone or together with a neighbour.
//   bits 2-4  how many code points of the full canonical decomposition are
//             combining in the sense of bit 0 ({counts["with_decomposition_marks"]} code points have
//             at least one, none more than {counts["max_decomposition_marks"]}).
//
// A two-stage table: kGuardBlock[cp >> {shift}] names one of {blocks} distinct blocks
// of {1 << shift} bytes in kGuardProps. {len(stage1)} + {len(stage2)} bytes
// ({(len(stage1) + len(stage2)) / 1024:.1f} KiB): two dependent loads answer all three
// questions, where the normalization data would take a quick-check lookup and
// a decomposition walk.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelrad::tables {{

inline constexpr std::uint8_t kGuardCombining = 0x{COMBINING:02X};
inline constexpr std::uint8_t kGuardNfkcUnstable = 0x{NFKC_UNSTABLE:02X};
inline constexpr unsigned kGuardDecompositionMarksShift = {DECOMPOSITION_MARKS_SHIFT};

inline constexpr std::size_t kGuardCombiningCount = {counts["combining"]};
inline constexpr std::size_t kGuardNfkcUnstableCount = {counts["nfkc_unstable"]};
inline constexpr std::size_t kGuardWithDecompositionMarksCount = {counts["with_decomposition_marks"]};
inline constexpr unsigned kGuardMaxDecompositionMarks = {counts["max_decomposition_marks"]};

inline constexpr unsigned kGuardShift = {shift};
extern const std::uint8_t kGuardBlock[{len(stage1)}];
extern const std::uint8_t kGuardProps[{len(stage2)}];

// The property byte of a scalar value (at most U+10FFFF).
inline std::uint8_t guard_props(char32_t cp) noexcept {{
    return kGuardProps[(static_cast<unsigned>(kGuardBlock[cp >> kGuardShift]) << kGuardShift) |
                       (cp & ((1U << kGuardShift) - 1))];
}}

// The number of combining code points in the canonical decomposition.
inline unsigned guard_decomposition_marks(std::uint8_t props) noexcept {{
    return props >> kGuardDecompositionMarksShift;
}}

}}  // namespace kelrad::tables
""",
    )
    write(
        "guard.cpp",
        head
        + f"""#include "tables/guard.hpp"

namespace kelrad::tables {{

{two_stage_definitions("kGuardBlock", "kGuardProps", "std::uint8_t", stage1, stage2)}
}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
