"""UTS #46 mapping rows, the Bidi_Class ranges of the IDNA bidi rule, and the
invisible characters of host-name analysis.

IdnaMappingTable.txt gives every code point one of five statuses. The rows
written here cover the whole code space without gaps: a row runs from its
first code point to the next row's first minus one. Neighbouring code points
share a row when they have the same status and, for mapped ones, a mapping to
one code point at the same distance (so A..Z is one row, +0x20, and so is each
run of mathematical letters); a mapping to several code points gets a row of
its own and its UTF-8 text goes to a shared, deduplicated pool. Deviation
rows keep no mapping: only nontransitional processing is done, which leaves
deviation characters as they are.

The bidi rule of RFC 5893 reads eleven Bidi_Class values; the others (B, S,
WS and the explicit embedding, override and isolate controls) are never
allowed and share one value. Left_To_Right, the most common class, is the
default: only the other classes get rows. Code points that
DerivedBidiClass.txt does not list take the defaults of its @missing lines.

The invisible set is Default_Ignorable_Code_Point, private use (Co) and the
noncharacters, minus the bidirectional formatting characters, which the
analysis reports as bidi controls instead. The generator checks it against the
list the analysis documents.
"""

from __future__ import annotations

import bisect

from emit import banner, cpp_string, ranges_body, wrap, write
from ucd import DATA, UCD17, code_point_set, data_lines, general_categories, merge_ranges, parse_range, property_ranges

IDNA = DATA / "unicode-17.0.0" / "idna" / "IdnaMappingTable.txt"

STATUSES = ["valid", "ignored", "mapped", "deviation", "disallowed"]

# RFC 5893 classes in the order of the BidiClass enumeration; 11 is "any other".
BIDI_CLASSES = ["L", "R", "AL", "EN", "ES", "ET", "AN", "CS", "NSM", "BN", "ON"]
BIDI_OTHER = len(BIDI_CLASSES)
BIDI_LONG_NAMES = {
    "Left_To_Right": "L", "Right_To_Left": "R", "Arabic_Letter": "AL", "European_Number": "EN",
    "European_Separator": "ES", "European_Terminator": "ET", "Arabic_Number": "AN", "Common_Separator": "CS",
    "Nonspacing_Mark": "NSM", "Boundary_Neutral": "BN", "Other_Neutral": "ON",
}

BIDI_FORMATTING = [(0x061C, 0x061C), (0x200E, 0x200F), (0x202A, 0x202E), (0x2066, 0x2069)]

DOCUMENTED_INVISIBLE = """
00AD 034F 115F-1160 17B4-17B5 180B-180F 200B-200D 2060-2065 206A-206F 3164 E000-F8FF FDD0-FDEF FE00-FE0F FEFF
FFA0 FFF0-FFF8 1BCA0-1BCA3 1D173-1D17A E0000-E0FFF F0000-10FFFF
"""
INVISIBLE_COUNT = 141_696


def hex_range(text: str) -> tuple[int, int]:
    a, _, b = text.partition("-")
    return int(a, 16), int(b or a, 16)


def idna_rows() -> tuple[list[tuple[int, int, int, int]], bytes, dict[str, int]]:
    """(first, status, pooled length, delta or pool offset) rows and the pool."""
    status: list[int] = [-1] * 0x110000
    mapping: dict[int, list[int]] = {}
    for fields in data_lines(IDNA):
        a, b = parse_range(fields[0])
        for cp in range(a, b + 1):
            status[cp] = STATUSES.index(fields[1])
            if fields[1] == "mapped":
                mapping[cp] = [int(x, 16) for x in fields[2].split()]
    if -1 in status:
        raise SystemExit(f"IdnaMappingTable.txt leaves U+{status.index(-1):04X} without a status")

    pool = bytearray()
    offsets: dict[bytes, int] = {}
    rows: list[tuple[int, int, int, int]] = []
    for cp in range(0x110000):
        seq = mapping.get(cp)
        if seq is not None and len(seq) > 1:
            text = "".join(map(chr, seq)).encode("utf-8")
            if text not in offsets:
                offsets[text] = len(pool)
                pool += text
            rows.append((cp, status[cp], len(text), offsets[text]))
            continue
        delta = seq[0] - cp if seq is not None else 0
        last = rows[-1] if rows else None
        if last is None or last[1] != status[cp] or last[2] != 0 or last[3] != delta:
            rows.append((cp, status[cp], 0, delta))
    # Processing relies on it: a mapped text needs no validity check of its own.
    for cp, seq in mapping.items():
        if any(STATUSES[status[m]] not in ("valid", "deviation") for m in seq):
            raise SystemExit(f"the mapping of U+{cp:04X} holds a code point that is not valid")
    counts = {name: sum(1 for r in rows if r[1] == i) for i, name in enumerate(STATUSES)}
    if max(r[2] for r in rows) > 255 or len(pool) > 0xFFFF:
        raise SystemExit("pooled mappings outgrew the row fields")
    return rows, bytes(pool), counts


def block_rows(rows: list[tuple[int, int, int, int]]) -> list[int]:
    """Per block of 256 code points, the index of the row holding its first
    code point; one more entry for the end of the code space."""
    firsts = [r[0] for r in rows]
    return [bisect.bisect_right(firsts, block << 8) - 1 for block in range(0x1100)] + [len(rows) - 1]


def chunk_bitmap(ranges) -> list[int]:
    """A bit per chunk of 64 code points (bit k % 64 of word k / 64 for the
    chunk of U+(64k)..U+(64k+63)), set when some range reaches into the chunk."""
    words = [0] * (0x110000 // 64 // 64)
    for a, b in ranges:
        for chunk in range(a >> 6, (b >> 6) + 1):
            words[chunk >> 6] |= 1 << (chunk & 63)
    return words


def ones(words: list[int]) -> int:
    return sum(bin(w).count("1") for w in words)


def bidi_rows() -> list[tuple[int, int, int]]:
    """Non-L Bidi_Class ranges, @missing defaults applied, neighbours merged."""
    cls = [BIDI_CLASSES.index("L")] * 0x110000

    def value(name: str) -> int:
        name = BIDI_LONG_NAMES.get(name, name)
        return BIDI_CLASSES.index(name) if name in BIDI_CLASSES else BIDI_OTHER

    path = UCD17 / "extracted" / "DerivedBidiClass.txt"
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("# @missing:"):
                span, name = (part.strip() for part in line[len("# @missing:"):].split(";"))
                a, b = parse_range(span)
                cls[a : b + 1] = [value(name)] * (b - a + 1)
    for fields in data_lines(path):
        a, b = parse_range(fields[0])
        cls[a : b + 1] = [value(fields[1])] * (b - a + 1)

    rows: list[list[int]] = []
    for cp, c in enumerate(cls):
        if c == 0:
            continue
        if rows and rows[-1][1] + 1 == cp and rows[-1][2] == c:
            rows[-1][1] = cp
        else:
            rows.append([cp, cp, c])
    return [tuple(r) for r in rows]


def invisible_ranges() -> list[tuple[int, int]]:
    ignorable = property_ranges(UCD17 / "DerivedCoreProperties.txt", "Default_Ignorable_Code_Point")
    nonchars = property_ranges(UCD17 / "PropList.txt", "Noncharacter_Code_Point")
    private_use = {cp for cp, cat in general_categories().items() if cat == "Co"}
    invisible = code_point_set(ignorable["Default_Ignorable_Code_Point"])
    invisible |= code_point_set(nonchars["Noncharacter_Code_Point"]) | private_use
    invisible -= code_point_set(BIDI_FORMATTING)

    documented = code_point_set([hex_range(item) for item in DOCUMENTED_INVISIBLE.split()])
    documented |= {plane << 16 | low for plane in range(17) for low in (0xFFFE, 0xFFFF)}
    if invisible != documented or len(invisible) != INVISIBLE_COUNT:
        raise SystemExit(
            f"invisible set: {len(invisible)} code points; differs from the documented list at "
            + ", ".join(f"U+{cp:04X}" for cp in sorted(invisible ^ documented)[:10])
        )
    return merge_ranges(invisible)


def main() -> None:
    rows, pool, counts = idna_rows()
    blocks = block_rows(rows)
    widest = max(b - a + 1 for a, b in zip(blocks, blocks[1:]))
    bidi = bidi_rows()
    rtl = {BIDI_CLASSES.index(name) for name in ("R", "AL", "AN")}
    rtl_chunks = chunk_bitmap([(a, b) for a, b, c in bidi if c in rtl])
    invisible = invisible_ranges()
    invisible_chunks = chunk_bitmap(invisible)
    pooled = sum(1 for r in rows if r[2])

    head = banner(
        "gen_idna.py",
        ["UTS #46 17.0.0 IdnaMappingTable.txt",
         "UCD 17.0.0 DerivedBidiClass.txt, DerivedCoreProperties.txt, DerivedGeneralCategory.txt, PropList.txt"],
    )
    bidi_consts = "".join(f"inline constexpr std::uint8_t kBidi{name} = {i};\n" for i, name in enumerate(BIDI_CLASSES))
    status_counts = ", ".join(f"{counts[name]} {name}" for name in STATUSES)
    write(
        "idna.hpp",
        head
        + f"""// The data of UTS #46 processing and of host-name analysis.
//
// IDNA_ROWS: {len(rows)} rows covering U+0000..U+10FFFF without gaps, sorted by
// first code point ({status_counts}).
// A row runs to the next row's first minus one. Neighbouring code points
// share a row when they have the same status and, if mapped to one code
// point, the same delta (A..Z is one row, +0x20). The {pooled} mappings to more
// than one code point keep a row each and point into IDNA_MAPPING_POOL,
// {len(pool)} bytes of deduplicated UTF-8. 8 bytes a row, {len(rows) * 8 / 1024:.1f} KiB in all.
// Deviation rows carry no mapping: nontransitional processing keeps those
// characters.
//
// IDNA_BLOCK_ROWS: per block of 256 code points, the index of the row holding
// the block's first code point (and a last entry for the end of the code
// space), so a lookup searches only the rows of its block: none for most
// blocks, at most {widest} for the blocks that alternate capital and small letters.
// 8.5 KiB; the whole-table search would take 13 probes for every character.
//
// IDNA_BIDI_CLASSES: {len(bidi)} sorted, disjoint ranges of the Bidi_Class values
// that the bidi rule of RFC 5893 distinguishes (DerivedBidiClass.txt with its
// @missing defaults); a code point in no range is L. The classes the rule
// never allows (B, S, WS and the explicit embedding, override and isolate
// controls) share `kBidiOther`. IDNA_RTL_CHUNKS: a bit per chunk of 64 code
// points (bit k % 64 of word k / 64 for U+(64k)..U+(64k+63)), set when the
// chunk holds a character of class R, AL or AN ({ones(rtl_chunks)} of 17,408 chunks, 2 KiB),
// so that the search for right-to-left characters passes over the others.
//
// HOSTNAME_INVISIBLE: {len(invisible)} ranges, {INVISIBLE_COUNT:,} code points: Default_Ignorable_Code_Point,
// private use and the noncharacters, minus the bidirectional formatting
// characters U+061C, U+200E-200F, U+202A-202E and U+2066-2069.
// HOSTNAME_INVISIBLE_CHUNKS: the chunks of 64 code points that hold one of
// them ({ones(invisible_chunks)} of 17,408), in the layout of IDNA_RTL_CHUNKS, so that the
// characters of the other chunks need no search.
#pragma once

#include <cstdint>

#include "util/ranges.hpp"

namespace kelrad::tables {{

inline constexpr std::uint32_t kIdnaValid = 0;
inline constexpr std::uint32_t kIdnaIgnored = 1;
inline constexpr std::uint32_t kIdnaMapped = 2;
inline constexpr std::uint32_t kIdnaDeviation = 3;
inline constexpr std::uint32_t kIdnaDisallowed = 4;

struct IdnaRow {{
    std::uint32_t first : 21;
    std::uint32_t status : 3;        // kIdnaValid ... kIdnaDisallowed
    std::uint32_t pooled_len : 8;    // mapped rows: the pooled text's length in bytes; 0: mapped by delta
    std::int32_t mapping;            // mapped rows: the pool offset, or the delta added to the code point
}};

extern const IdnaRow IDNA_ROWS[{len(rows)}];
extern const char IDNA_MAPPING_POOL[{len(pool) + 1}];
extern const std::uint16_t IDNA_BLOCK_ROWS[{len(blocks)}];

{bidi_consts}inline constexpr std::uint8_t kBidiOther = {BIDI_OTHER};

extern const ValuedRange<std::uint8_t> IDNA_BIDI_CLASSES[{len(bidi)}];
extern const std::uint64_t IDNA_RTL_CHUNKS[{len(rtl_chunks)}];

inline constexpr std::uint32_t kHostnameInvisibleCount = {INVISIBLE_COUNT};
extern const CodepointRange HOSTNAME_INVISIBLE[{len(invisible)}];
extern const std::uint64_t HOSTNAME_INVISIBLE_CHUNKS[{len(invisible_chunks)}];

// Whether the chunk bitmap has the chunk of cp.
inline bool in_chunk_bitmap(const std::uint64_t* bitmap, char32_t cp) noexcept {{
    std::uint32_t chunk = cp >> 6;
    return (bitmap[chunk / 64] >> (chunk % 64)) & 1;
}}

}}  // namespace kelrad::tables
""",
    )
    pool_texts = sorted({(r[3], r[2]) for r in rows if r[2]})
    pool_body = "".join(f"    {cpp_string(pool[o:o + n])}\n" for o, n in pool_texts)
    write(
        "idna.cpp",
        head
        + f"""#include "tables/idna.hpp"

namespace kelrad::tables {{

const IdnaRow IDNA_ROWS[{len(rows)}] = {{
{wrap(f"{{0x{first:04X}, {status}, {n}, {m}}}" for first, status, n, m in rows)}}};

const char IDNA_MAPPING_POOL[{len(pool) + 1}] =
{pool_body.rstrip()};

const std::uint16_t IDNA_BLOCK_ROWS[{len(blocks)}] = {{
{wrap(str(b) for b in blocks)}}};

const ValuedRange<std::uint8_t> IDNA_BIDI_CLASSES[{len(bidi)}] = {{
{wrap(f"{{0x{a:04X}, 0x{b:04X}, {c}}}" for a, b, c in bidi)}}};

const std::uint64_t IDNA_RTL_CHUNKS[{len(rtl_chunks)}] = {{
{wrap(f"0x{w:X}" for w in rtl_chunks)}}};

const CodepointRange HOSTNAME_INVISIBLE[{len(invisible)}] = {{
{ranges_body(invisible)}}};

const std::uint64_t HOSTNAME_INVISIBLE_CHUNKS[{len(invisible_chunks)}] = {{
{wrap(f"0x{w:X}" for w in invisible_chunks)}}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
