"""Normalization data (UAX #15) for Unicode 17.0.0.

Writes two pairs of files:

- normalization.{hpp,cpp}: per code point the canonical combining class, the
  four quick-check values, the combining-mark flag, the full canonical and
  compatibility decompositions and the primary composites that start with it,
  behind a two-stage lookup; the four stable bitmaps and the span-stable
  bitmap of the Basic Multilingual Plane.
- normalization_compose.{hpp,cpp}: the composition-excluded characters that
  composition beyond NFC rebuilds, keyed by their decompositions, with the
  gate of their first pairs.
"""

from __future__ import annotations

from emit import banner, bmp_bitmap, two_stage, wrap, write
from ucd import UCD17, data_lines, general_categories, parse_range, unicode_data

S_BASE, L_BASE, V_BASE, T_BASE = 0xAC00, 0x1100, 0x1161, 0x11A7
L_COUNT, V_COUNT, T_COUNT = 19, 21, 28
S_COUNT = L_COUNT * V_COUNT * T_COUNT

# Flag bits of a record; the C++ header repeats them.
NFD_NO, NFKD_NO, NFC_NO, NFC_MAYBE, NFKC_NO, NFKC_MAYBE, MARK = (1 << i for i in range(7))

FORMS = ("NFC", "NFD", "NFKC", "NFKD")
EXPECTED_STABLE = {"NFC": 62128, "NFD": 50092, "NFKC": 59720, "NFKD": 47696}
EXPECTED_SPAN_STABLE = 49498
EXPECTED_CLASS0_MARKS = 594
EXPECTED_EXCLUSION_KEYS = 71
EXPECTED_EXCLUDED_PAIRS = 69

INPUTS = [
    "UCD 17.0.0 UnicodeData.txt",
    "DerivedNormalizationProps.txt",
    "CompositionExclusions.txt",
    "extracted/DerivedCombiningClass.txt",
    "extracted/DerivedGeneralCategory.txt",
]


def is_hangul_syllable(cp: int) -> bool:
    return S_BASE <= cp < S_BASE + S_COUNT


class Ucd:
    """The normalization properties of every code point."""

    def __init__(self) -> None:
        self.ccc: dict[int, int] = {}
        for fields in data_lines(UCD17 / "extracted" / "DerivedCombiningClass.txt"):
            a, b = parse_range(fields[0])
            if int(fields[1]):
                for cp in range(a, b + 1):
                    self.ccc[cp] = int(fields[1])

        self.mapping: dict[int, tuple[bool, list[int]]] = {}  # cp -> (compatibility?, one-step mapping)
        for fields in unicode_data():
            if fields[5]:
                parts = fields[5].split()
                compat = parts[0].startswith("<")
                if compat:
                    parts = parts[1:]
                self.mapping[int(fields[0], 16)] = (compat, [int(p, 16) for p in parts])

        self.qc: dict[str, dict[int, str]] = {f: {} for f in FORMS}
        self.full_exclusion: set[int] = set()
        for fields in data_lines(UCD17 / "DerivedNormalizationProps.txt"):
            a, b = parse_range(fields[0])
            prop = fields[1]
            if prop == "Full_Composition_Exclusion":
                self.full_exclusion.update(range(a, b + 1))
            elif prop.endswith("_QC"):
                form = prop[:-3]
                for cp in range(a, b + 1):
                    self.qc[form][cp] = fields[2]

        gc = general_categories()
        self.marks = {cp for cp, cat in gc.items() if cat in ("Mn", "Mc", "Me")}

    def combining_class(self, cp: int) -> int:
        return self.ccc.get(cp, 0)

    def quick_check(self, form: str, cp: int) -> str:
        return self.qc[form].get(cp, "Y")

    def decompose(self, cp: int, compat: bool) -> list[int]:
        """The full decomposition (the code point itself when it has none)."""
        if is_hangul_syllable(cp):
            s = cp - S_BASE
            out = [L_BASE + s // (V_COUNT * T_COUNT), V_BASE + (s % (V_COUNT * T_COUNT)) // T_COUNT]
            if s % T_COUNT:
                out.append(T_BASE + s % T_COUNT)
            return out
        entry = self.mapping.get(cp)
        if entry is None or (entry[0] and not compat):
            return [cp]
        return [d for part in entry[1] for d in self.decompose(part, compat)]

    def primary_composites(self) -> dict[tuple[int, int], int]:
        """Pairs that canonical composition joins (Hangul left to the algorithm)."""
        out: dict[tuple[int, int], int] = {}
        for cp, (compat, parts) in self.mapping.items():
            if not compat and len(parts) == 2 and cp not in self.full_exclusion:
                out[(parts[0], parts[1])] = cp
        return out

    def stable(self, form: str, cp: int) -> bool:
        return self.quick_check(form, cp) == "Y" and self.combining_class(cp) == 0


def post_composition_exclusions() -> set[int]:
    """Section (2) of CompositionExclusions.txt: characters encoded after the
    composition version, which no text of the earlier standards held."""
    out: set[int] = set()
    section = 0
    with open(UCD17 / "CompositionExclusions.txt", encoding="utf-8") as f:
        for line in f:
            if line[:3] == "# (" and line[3].isdigit():
                section = int(line[3])
            elif section == 2 and line[:1] not in ("#", "\n"):
                out.add(int(line.split("#")[0].strip(), 16))
    return out


def unstable_leads(stable_cp) -> list[int]:
    """Nibble masks of the UTF-8 lead bytes that start some code point that is
    not stable: bit r of entry l stands for the byte 0xC0 + 16 * r + l. Bytes
    below 0xC0 (ASCII, continuation bytes) are never leads of such a code
    point; four-byte leads and the bytes that UTF-8 never uses count as
    unstable."""
    masks = [0] * 16
    for byte in range(0xC0, 0x100):
        if 0xC2 <= byte <= 0xDF:
            first = (byte - 0xC0) << 6
            cps = range(max(first, 0x80), first + 64)
        elif 0xE0 <= byte <= 0xEF:
            first = (byte - 0xE0) << 12
            cps = [cp for cp in range(max(first, 0x800), first + 4096) if not 0xD800 <= cp <= 0xDFFF]
        else:
            cps = None
        if cps is None or not all(stable_cp(cp) for cp in cps):
            masks[byte & 15] |= 1 << ((byte >> 4) - 12)
    return masks


def hex_list(values: list[int], digits: int) -> str:
    return wrap(f"0x{v:0{digits}X}" for v in values)


def generate_normalization(ucd: Ucd) -> None:
    composites = ucd.primary_composites()
    by_first: dict[int, list[tuple[int, int]]] = {}
    for (first, second), composite in composites.items():
        by_first.setdefault(first, []).append((second, composite))

    # Decomposition sequences, shared where equal.
    decomp_data: list[int] = [0]  # offset 0 is never a real sequence
    decomp_offsets: dict[tuple[int, ...], int] = {}

    def place(seq: list[int]) -> int:
        key = tuple(seq)
        if key not in decomp_offsets:
            decomp_offsets[key] = len(decomp_data)
            decomp_data.extend(cp | ucd.combining_class(cp) << 24 for cp in seq)
        return decomp_offsets[key]

    compose_data: list[tuple[int, int]] = []
    records: dict[tuple[int, ...], int] = {(0, 0, 0, 0, 0, 0, 0, 0): 0}
    record_list: list[tuple[int, ...]] = [(0, 0, 0, 0, 0, 0, 0, 0)]
    index: list[int] = [0] * 0x110000
    max_len = 0

    for cp in range(0x110000):
        flags = 0
        if ucd.quick_check("NFD", cp) == "N":
            flags |= NFD_NO
        if ucd.quick_check("NFKD", cp) == "N":
            flags |= NFKD_NO
        flags |= {"Y": 0, "N": NFC_NO, "M": NFC_MAYBE}[ucd.quick_check("NFC", cp)]
        flags |= {"Y": 0, "N": NFKC_NO, "M": NFKC_MAYBE}[ucd.quick_check("NFKC", cp)]
        if cp in ucd.marks:
            flags |= MARK
        canon_off = canon_len = compat_off = compat_len = 0
        if cp in ucd.mapping:
            canon = ucd.decompose(cp, False)
            compat = ucd.decompose(cp, True)
            max_len = max(max_len, len(compat))
            if canon != [cp]:
                canon_off, canon_len = place(canon), len(canon)
            compat_off, compat_len = place(compat), len(compat)
        comp_off = comp_len = 0
        if cp in by_first:
            pairs = sorted(by_first[cp])
            comp_off, comp_len = len(compose_data), len(pairs)
            compose_data.extend(pairs)
        record = (canon_off, compat_off, comp_off, canon_len, compat_len, comp_len, ucd.combining_class(cp), flags)
        if record not in records:
            records[record] = len(record_list)
            record_list.append(record)
        index[cp] = records[record]

    assert max_len == 18, max_len
    assert len(decomp_data) < 0x10000 and len(compose_data) < 0x10000 and len(record_list) < 0x10000

    shift, stage1, stage2 = two_stage(index, shifts=range(5, 10))

    # The BMP bitmaps.
    bmp = [cp for cp in range(0x10000) if not 0xD800 <= cp <= 0xDFFF]  # scalar values only
    stable = {form: {cp for cp in bmp if ucd.stable(form, cp)} for form in FORMS}
    for form in FORMS:
        assert len(stable[form]) == EXPECTED_STABLE[form], (form, len(stable[form]))
    class0_marks = {cp for cp in stable["NFD"] if cp in ucd.marks}
    assert len(class0_marks) == EXPECTED_CLASS0_MARKS, len(class0_marks)
    span_stable = stable["NFD"] - class0_marks
    assert len(span_stable) == EXPECTED_SPAN_STABLE
    leads = {form: unstable_leads(lambda cp, f=form: cp in stable[f]) for form in FORMS}

    tables_size = len(stage1) + len(stage2) * 2 + len(record_list) * 12 + len(decomp_data) * 4
    tables_size += len(compose_data) * 8
    head = banner("gen_normalization.py", INPUTS)
    write(
        "normalization.hpp",
        head
        + f"""// Normalization data per code point (UAX #15).
//
// Per-code-point record: the canonical combining class, the quick-check
// values of the four forms, the combining-mark flag (General_Category Mn, Mc,
// Me), the full canonical and compatibility decompositions (offsets into
// kDecompositions) and the primary composites that start with the code point
// (offsets into kCompositions, sorted by second character; Full_Composition_
// Exclusion removed). Hangul syllables are left to the algorithm of Unicode
// chapter 3.12 and carry only their quick-check values.
//
// Decomposed code points are stored with their combining class in the top
// byte (cp | ccc << 24), so decomposing needs no second lookup per character.
//
// Code point to record: a two-stage table. kRecordBlock[cp >> {shift}] names one of
// {len(stage2) >> shift} blocks of {1 << shift} record numbers in kRecordIndex. {len(record_list)} distinct
// records (12 bytes each), {len(stage1)} 8-bit and {len(stage2)} 16-bit index entries,
// {len(decomp_data)} decomposed code points and {len(compose_data)} composition pairs: about
// {tables_size // 1024} KiB in all. A perfect hash would be smaller but costs a hash and a
// compare on every probe; the stages cost two dependent loads and cover
// every plane alike. Only characters that are not stable (below) reach them.
//
// Bitmaps of the Basic Multilingual Plane, 65,536 bits each (1024 words; bit n
// of word k is code point 64k + n): a bit of kStable[form] is set when the
// form's quick check is Yes and the combining class is 0, a safe cut point
// for that form (NFC {len(stable['NFC'])}, NFD {len(stable['NFD'])}, NFKC {len(stable['NFKC'])}, NFKD {len(stable['NFKD'])} bits).
// kSpanStable is the NFD bitmap without the {len(class0_marks)} combining marks of class 0
// ({len(span_stable)} bits). 8 KiB each; a single bit answers the common case.
//
// kUnstableLeads[form]: the UTF-8 lead bytes whose code points are not all
// stable for the form, as nibble masks (bit r of entry l: the byte 0xC0 + 16r
// + l; four-byte leads always count). Every other byte is ASCII, a
// continuation byte or the lead of a stable character, so a text can be
// scanned for work byte by byte, sixteen bytes at a time, without decoding.
#pragma once

#include <cstdint>

namespace kelrad::tables {{

struct NormRecord {{
    std::uint16_t canonical;     // offset of the full canonical decomposition
    std::uint16_t compat;        // offset of the full compatibility decomposition
    std::uint16_t compose;       // offset of the composition pairs
    std::uint8_t canonical_len;  // 0: no canonical decomposition
    std::uint8_t compat_len;     // 0: no decomposition at all
    std::uint8_t compose_len;    // 0: starts no primary composite
    std::uint8_t ccc;
    std::uint8_t flags;
}};

inline constexpr std::uint8_t kNfdNo = 0x01;
inline constexpr std::uint8_t kNfkdNo = 0x02;
inline constexpr std::uint8_t kNfcNo = 0x04;
inline constexpr std::uint8_t kNfcMaybe = 0x08;
inline constexpr std::uint8_t kNfkcNo = 0x10;
inline constexpr std::uint8_t kNfkcMaybe = 0x20;
inline constexpr std::uint8_t kMark = 0x40;

struct ComposePair {{
    char32_t second;
    char32_t composite;
}};

inline constexpr unsigned kRecordShift = {shift};
inline constexpr unsigned kMaxDecompositionLen = {max_len};

extern const std::uint8_t kRecordBlock[{len(stage1)}];
extern const std::uint16_t kRecordIndex[{len(stage2)}];
extern const NormRecord kNormRecords[{len(record_list)}];
extern const std::uint32_t kDecompositions[{len(decomp_data)}];
extern const ComposePair kCompositions[{len(compose_data)}];

// Indexed by the number of the form: NFC, NFD, NFKC, NFKD.
extern const std::uint64_t kStable[4][1024];
extern const std::uint64_t kSpanStable[1024];
extern const std::uint8_t kUnstableLeads[4][16];

inline const NormRecord& norm_record(char32_t cp) noexcept {{
    return kNormRecords[kRecordIndex[(kRecordBlock[cp >> kRecordShift] << kRecordShift) |
                                     (cp & ((1u << kRecordShift) - 1))]];
}}

inline bool bmp_bit(const std::uint64_t (&bits)[1024], char32_t cp) noexcept {{
    return (bits[cp >> 6] >> (cp & 63)) & 1;
}}

}}  // namespace kelrad::tables
""",
    )

    def bitmap_body(words: list[int]) -> str:
        return wrap(f"0x{w:016X}" for w in words)

    rec_body = wrap("{" + ", ".join(str(v) for v in r) + "}" for r in record_list)
    write(
        "normalization.cpp",
        head
        + f"""#include "tables/normalization.hpp"

namespace kelrad::tables {{

const std::uint8_t kRecordBlock[{len(stage1)}] = {{
{wrap(str(v) for v in stage1)}}};

const std::uint16_t kRecordIndex[{len(stage2)}] = {{
{wrap(str(v) for v in stage2)}}};

const NormRecord kNormRecords[{len(record_list)}] = {{
{rec_body}}};

const std::uint32_t kDecompositions[{len(decomp_data)}] = {{
{hex_list(decomp_data, 8)}}};

const ComposePair kCompositions[{len(compose_data)}] = {{
{wrap(f"{{0x{a:04X}, 0x{b:04X}}}" for a, b in compose_data)}}};

const std::uint64_t kStable[4][1024] = {{
"""
        + "".join(f"    {{  // {form}\n{bitmap_body(bmp_bitmap(stable[form]))}    }},\n" for form in FORMS)
        + f"""}};

const std::uint64_t kSpanStable[1024] = {{
{bitmap_body(bmp_bitmap(span_stable))}}};

const std::uint8_t kUnstableLeads[4][16] = {{
"""
        + "".join(f"    {{{', '.join(f'0x{m:X}' for m in leads[form])}}},  // {form}\n" for form in FORMS)
        + f"""}};

}}  // namespace kelrad::tables
""",
    )


def utf8_literal(cps: list[int]) -> str:
    return '"' + "".join(f"\\u{cp:04X}" if cp < 0x10000 else f"\\U{cp:08X}" for cp in cps) + '"'


def generate_compose(ucd: Ucd) -> None:
    late = post_composition_exclusions()
    keys: list[tuple[list[int], int]] = []
    for cp in sorted(ucd.full_exclusion - late):
        if len(ucd.mapping[cp][1]) >= 2:  # singletons never compose back
            keys.append((ucd.decompose(cp, False), cp))
    assert len(keys) == EXPECTED_EXCLUSION_KEYS, len(keys)
    keys.sort()
    pairs = sorted({(d[0], d[1]) for d, _ in keys})
    assert len(pairs) == EXPECTED_EXCLUDED_PAIRS, len(pairs)
    longest = max(len(d) for d, _ in keys)

    head = banner("gen_normalization.py", INPUTS)
    write(
        "normalization_compose.hpp",
        head
        + f"""// The composition-excluded characters that composition beyond NFC rebuilds:
// every Full_Composition_Exclusion character that is not a singleton (its
// decomposition mapping has two characters), but for the post-composition-
// version symbols (U+2ADC and the musical symbols), which no earlier text
// spelled precomposed.
//
// kExclusionKeys: {len(keys)} entries, each the decomposition and the character,
// sorted by the decomposition; searched by binary search, since kExcludedPairs
// ({len(pairs)} distinct first pairs, sorted) already keeps the lookups to the rare
// windows that can match. At most {longest} characters per key.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelrad::tables {{

struct ExclusionKey {{
    std::u32string_view decomposition;
    char32_t composite;
}};

struct ExcludedPair {{
    char32_t first;
    char32_t second;
}};

inline constexpr unsigned kMaxExclusionKeyLen = {longest};

extern const ExclusionKey kExclusionKeys[{len(keys)}];
extern const ExcludedPair kExcludedPairs[{len(pairs)}];

}}  // namespace kelrad::tables
""",
    )
    key_body = wrap(f"{{U{utf8_literal(d)}, 0x{c:04X}}}" for d, c in keys)
    write(
        "normalization_compose.cpp",
        head
        + f"""#include "tables/normalization_compose.hpp"

namespace kelrad::tables {{

const ExclusionKey kExclusionKeys[{len(keys)}] = {{
{key_body}}};

const ExcludedPair kExcludedPairs[{len(pairs)}] = {{
{wrap(f"{{0x{a:04X}, 0x{b:04X}}}" for a, b in pairs)}}};

}}  // namespace kelrad::tables
""",
    )


def main() -> None:
    ucd = Ucd()
    generate_normalization(ucd)
    generate_compose(ucd)


if __name__ == "__main__":
    main()
