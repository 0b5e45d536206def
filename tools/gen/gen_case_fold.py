"""Full case folding and the full lowercase mapping.

Case folding follows CaseFolding.txt of Unicode 16.0.0, statuses C and F (the
full folding; the simple S and Turkic T mappings are not used).

The lowercase mapping has to agree with that fold table: `_is_case_fold_stable`
compares the two character by character, so a character that one table knows
and the other does not would read as unstable. data/ carries UnicodeData.txt
and SpecialCasing.txt of 17.0.0 only, so the mapping is derived from those and
then cut back to 16.0.0: only characters assigned in 16.0.0 or earlier
(DerivedAge.txt) get an entry, and the Cased and Case_Ignorable sets behind
the Final_Sigma condition are cut the same way. The generator proves the cut
sound instead of trusting it: the 17.0.0 CaseFolding.txt restricted to those
characters must equal the 16.0.0 file line for line, and every kept lowercase
mapping must fold to the same text as its source (fold(c) == fold(lower(c))),
so no 16.0.0 character maps into 17.0.0 repertoire or disagrees with its fold.

Both mappings are stored as perfect-hash maps with a BMP filter bitmap in
front; Cased and Case_Ignorable are sorted range tables.
"""

from __future__ import annotations

from emit import banner, bmp_bitmap, cpp_string, ranges_body, wrap, write
from ucd import DATA, UCD17, code_point_set, data_lines, merge_ranges, parse_range, property_ranges, unicode_data

CASE_FOLDING_16 = DATA / "unicode-16.0.0" / "ucd" / "CaseFolding.txt"

M32 = 0xFFFFFFFF
EMPTY = 0xFFFFFFFF  # key of an empty slot: no code point
MAX_UTF8 = 6  # longest mapping in bytes (U+0390 folds to three two-byte characters)


def case_folding(path) -> dict[int, list[int]]:
    """The C and F mappings of a CaseFolding.txt."""
    out: dict[int, list[int]] = {}
    for fields in data_lines(path):
        if fields[1] in ("C", "F"):
            out[int(fields[0], 16)] = [int(x, 16) for x in fields[2].split()]
    return out


def newer_than_16() -> set[int]:
    """Code points first assigned after Unicode 16.0.0."""
    newer: set[int] = set()
    for fields in data_lines(UCD17 / "DerivedAge.txt"):
        if tuple(int(part) for part in fields[1].split(".")) > (16, 0):
            newer |= code_point_set([parse_range(fields[0])])
    return newer


def lowercase_mapping() -> dict[int, list[int]]:
    """Unconditional full lowercase mapping (UnicodeData, overridden by SpecialCasing)."""
    lower: dict[int, list[int]] = {}
    for fields in unicode_data():
        if fields[13]:
            lower[int(fields[0], 16)] = [int(fields[13], 16)]
    for fields in data_lines(UCD17 / "SpecialCasing.txt"):
        if len(fields) > 4 and fields[4]:
            continue  # conditional (Final_Sigma is applied by the code; language rules are not used)
        lower[int(fields[0], 16)] = [int(x, 16) for x in fields[1].split()]
    return {cp: seq for cp, seq in lower.items() if seq != [cp]}


def mix32(x: int) -> int:
    """The 32-bit finaliser the C++ lookup uses (see the header)."""
    x ^= x >> 16
    x = (x * 0x7FEB352D) & M32
    x ^= x >> 15
    x = (x * 0x846CA68B) & M32
    x ^= x >> 16
    return x


def perfect_hash(keys: list[int], bucket_bits: int, slot_bits: int) -> tuple[int, list[int], list[int]]:
    """(seed, displacement per bucket, key per slot) of a hash-and-displace map.

    slot(k) = (h ^ displacement[h >> (32 - bucket_bits)]) & (2^slot_bits - 1)
    with h = mix32(k ^ seed). Buckets are placed largest first; the first seed
    for which every bucket finds a displacement wins.
    """
    mask = (1 << slot_bits) - 1
    for seed in range(1, 10000):
        buckets: dict[int, list[int]] = {}
        for k in keys:
            h = mix32(k ^ seed)
            buckets.setdefault(h >> (32 - bucket_bits), []).append(h)
        slots = [EMPTY] * (1 << slot_bits)
        displacement = [0] * (1 << bucket_bits)
        order = sorted(buckets.items(), key=lambda item: (-len(item[1]), item[0]))
        ok = True
        for b, hashes in order:
            if len({h & mask for h in hashes}) < len(hashes):
                ok = False
                break
            for d in range(1 << slot_bits):
                places = [(h ^ d) & mask for h in hashes]
                if all(slots[p] == EMPTY for p in places):
                    break
            else:
                ok = False
                break
            displacement[b] = d
            for h, p in zip(hashes, places):
                slots[p] = h
        if ok:
            by_hash = {mix32(k ^ seed): k for k in keys}
            return seed, displacement, [EMPTY if h == EMPTY else by_hash[h] for h in slots]
    raise SystemExit("no perfect hash found")


def utf8(seq: list[int]) -> bytes:
    return "".join(map(chr, seq)).encode("utf-8")


def map_definition(name: str, mapping: dict[int, list[int]], bucket_bits: int, slot_bits: int) -> str:
    seed, displacement, slots = perfect_hash(sorted(mapping), bucket_bits, slot_bits)
    rows = []
    for k in slots:
        if k == EMPTY:
            rows.append('{0xFFFFFFFF, 0, ""}')
        else:
            text = utf8(mapping[k])
            assert len(text) <= MAX_UTF8
            rows.append(f"{{0x{k:04X}, {len(text)}, {cpp_string(text)}}}")
    return (
        f"const CaseMap {name} = {{\n    0x{seed:X},\n    {{\n"
        + wrap((str(d) for d in displacement), indent="        ")
        + "    },\n    {\n"
        + wrap(rows, indent="        ")
        + "    },\n};\n"
    )


def filter_definition(name: str, keys) -> str:
    return f"const std::uint64_t {name}[1024] = {{\n" + wrap(f"0x{w:X}" for w in bmp_bitmap(keys)) + "};\n"


def main() -> None:
    fold = case_folding(CASE_FOLDING_16)
    newer = newer_than_16()

    fold17 = case_folding(UCD17 / "CaseFolding.txt")
    if {cp: seq for cp, seq in fold17.items() if cp not in newer} != fold:
        raise SystemExit("CaseFolding 17.0.0 cut back to 16.0.0 repertoire differs from CaseFolding 16.0.0")

    lower = {cp: seq for cp, seq in lowercase_mapping().items() if cp not in newer}

    def folded(seq: list[int]) -> list[int]:
        return [f for c in seq for f in fold.get(c, [c])]

    disagree = [f"{cp:04X}" for cp, seq in lower.items() if folded([cp]) != folded(seq)]
    if disagree:
        raise SystemExit(f"lowercase mapping disagrees with the fold table: {disagree}")

    props = property_ranges(UCD17 / "DerivedCoreProperties.txt")
    cased = merge_ranges(code_point_set(props["Cased"]) - newer)
    ignorable = merge_ranges(code_point_set(props["Case_Ignorable"]) - newer)

    multi = sum(1 for seq in fold.values() if len(seq) > 1)
    head = banner(
        "gen_case_fold.py",
        [
            "UCD 16.0.0 CaseFolding.txt",
            "UCD 17.0.0 UnicodeData.txt, SpecialCasing.txt, DerivedCoreProperties.txt, DerivedAge.txt, CaseFolding.txt",
        ],
    )
    write(
        "case_fold.hpp",
        head
        + f"""// Full case folding (CaseFolding.txt 16.0.0, statuses C and F) and the full
// lowercase mapping (UnicodeData + unconditional SpecialCasing) of the same
// repertoire, for caseless keys and the fold-stability test.
//
// CASE_FOLDING holds {len(fold)} mappings ({multi} of them to more than one code
// point, at most three); LOWERCASE_MAPPING holds {len(lower)}. Each is a
// hash-and-displace perfect-hash map: h = mix32(cp ^ seed); the top
// {9} bits of h pick one of 512 buckets, whose 16-bit displacement d places the
// key in slot (h ^ d) & 2047. A slot holds the key and the mapped text as
// UTF-8 (at most {MAX_UTF8} bytes), 12 bytes a slot, so a lookup is one hash, two
// loads and one compare: 2048 slots and 512 displacements make 25 KiB a map.
// A sorted array with binary search would be half the size but takes eleven
// dependent probes per character, and folding asks for every character.
//
// Most BMP characters have no mapping, so a 65,536-bit bitmap per map
// (CASE_FOLD_BMP_FILTER, LOWERCASE_BMP_FILTER: 1024 words, bit c % 64 of word
// c / 64) answers "no entry" before the hash; code points from U+10000 up go
// to the map directly.
//
// CASED and CASE_IGNORABLE (DerivedCoreProperties) decide the Final_Sigma
// condition of lower-casing (Unicode 3.13, Table 3-17): {len(cased)} and {len(ignorable)}
// sorted, disjoint ranges searched by binary search; they are read only
// around a capital sigma.
#pragma once

#include <cstdint>
#include <string_view>

#include "util/ranges.hpp"

namespace kelrad::tables {{

struct CaseMapSlot {{
    char32_t cp;  // 0xFFFFFFFF in an empty slot
    std::uint8_t len;
    char utf8[{MAX_UTF8 + 1}];
}};

struct CaseMap {{
    static constexpr unsigned kBucketBits = 9;
    static constexpr unsigned kSlotBits = 11;
    std::uint32_t seed;
    std::uint16_t displacement[1u << kBucketBits];
    CaseMapSlot slots[1u << kSlotBits];
}};

inline constexpr std::uint32_t mix32(std::uint32_t x) noexcept {{
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}}

// The mapped text of cp, or nullptr when the map has no entry.
inline const CaseMapSlot* find(const CaseMap& map, char32_t cp) noexcept {{
    std::uint32_t h = mix32(static_cast<std::uint32_t>(cp) ^ map.seed);
    std::uint32_t d = map.displacement[h >> (32 - CaseMap::kBucketBits)];
    const CaseMapSlot& slot = map.slots[(h ^ d) & ((1u << CaseMap::kSlotBits) - 1)];
    return slot.cp == cp ? &slot : nullptr;
}}

inline bool in_bmp_filter(const std::uint64_t* filter, char32_t cp) noexcept {{
    return (filter[cp >> 6] >> (cp & 63)) & 1;
}}

inline constexpr std::size_t kCaseFoldingEntries = {len(fold)};
inline constexpr std::size_t kLowercaseMappingEntries = {len(lower)};

extern const CaseMap CASE_FOLDING;
extern const std::uint64_t CASE_FOLD_BMP_FILTER[1024];
extern const CaseMap LOWERCASE_MAPPING;
extern const std::uint64_t LOWERCASE_BMP_FILTER[1024];
extern const CodepointRange CASED[{len(cased)}];
extern const CodepointRange CASE_IGNORABLE[{len(ignorable)}];

}}  // namespace kelrad::tables
""",
    )
    write(
        "case_fold.cpp",
        head
        + '#include "tables/case_fold.hpp"\n\nnamespace kelrad::tables {\n\n'
        + map_definition("CASE_FOLDING", fold, 9, 11)
        + "\n"
        + filter_definition("CASE_FOLD_BMP_FILTER", fold)
        + "\n"
        + map_definition("LOWERCASE_MAPPING", lower, 9, 11)
        + "\n"
        + filter_definition("LOWERCASE_BMP_FILTER", lower)
        + f"\nconst CodepointRange CASED[{len(cased)}] = {{\n"
        + ranges_body(cased)
        + f"}};\n\nconst CodepointRange CASE_IGNORABLE[{len(ignorable)}] = {{\n"
        + ranges_body(ignorable)
        + "};\n\n}  // namespace kelrad::tables\n",
    )


if __name__ == "__main__":
    main()
