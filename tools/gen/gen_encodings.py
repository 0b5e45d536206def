"""Encodings, labels and indexes of the WHATWG Encoding Standard.

Reads data/whatwg-encoding-a985b62/: encodings.json (the encodings in the
Standard's order with their labels) and the 34 index-*.txt files, each checked
entry for entry against indexes.json. Writes src/tables/encodings.{hpp,cpp}:

- `Encoding`, the 40 encodings, and their canonical names;
- the 228 labels, sorted for binary search;
- the 28 single-byte tables, widened to all 256 bytes;
- the jis0208, jis0212, euc-kr, gb18030 and big5 indexes as dense arrays by
  pointer, and the gb18030 four-byte ranges.

The iso-2022-jp-katakana index is read and checked but not written: only the
ISO-2022-JP encoder consults it, and the module only decodes.
"""

from __future__ import annotations

import json
import re

from emit import banner, wrap, write
from ucd import DATA

SOURCE = DATA / "whatwg-encoding-a985b62"
VERSION = "WHATWG Encoding Standard a985b62 (indexes of 2024-09-18)"

# Index lengths, one more than the largest pointer each decoder can form.
MULTI_BYTE = {"jis0208": 11280, "jis0212": 8836, "euc-kr": 23940, "gb18030": 23940, "big5": 19782}
# Big5 pointers the decoder answers with two code points, absent from the index.
BIG5_PAIRS = (1133, 1135, 1164, 1166)


def read_index(name: str) -> dict[int, int]:
    """{pointer: code point} of index-<name>.txt. Lines are split on "\\n" only:
    the character names after the code points hold U+0085, which a universal
    line split would take for a line end."""
    with open(SOURCE / f"index-{name}.txt", encoding="utf-8", newline="") as f:
        text = f.read()
    index: dict[int, int] = {}
    for line in text.split("\n"):
        if not line.strip() or line.startswith("#"):
            continue
        pointer, cp = line.split("\t")[:2]
        index[int(pointer)] = int(cp, 16)
    return index


def checked_indexes() -> dict[str, dict[int, int]]:
    """Every index file, checked against the same index in indexes.json."""
    with open(SOURCE / "indexes.json", encoding="utf-8") as f:
        published = json.load(f)
    names = sorted(p.name[len("index-") : -len(".txt")] for p in SOURCE.glob("index-*.txt"))
    assert names == sorted(published) and len(names) == 34, names
    indexes = {}
    for name in names:
        index = read_index(name)
        if name == "gb18030-ranges":
            assert sorted(index.items()) == [tuple(pair) for pair in published[name]], name
        else:
            assert index == {p: cp for p, cp in enumerate(published[name]) if cp is not None}, name
        indexes[name] = index
    return indexes


def identifier(name: str) -> str:
    """The enumerator of an encoding name: UTF-8 is UTF_8, x-mac-cyrillic is x_mac_cyrillic."""
    return re.sub(r"[^A-Za-z0-9]", "_", name)


def single_byte_table(index: dict[int, int]) -> list[int]:
    assert all(0 <= p < 128 for p in index) and 0xFFFD not in index.values()
    assert all(cp < 0x10000 and not 0xD800 <= cp <= 0xDFFF for cp in index.values())
    return list(range(128)) + [index.get(p, 0xFFFD) for p in range(128)]


def dense(index: dict[int, int], length: int, mask: int = 0xFFFF) -> list[int]:
    assert max(index) < length and all(cp & mask for cp in index.values())
    return [index.get(p, 0) & mask for p in range(length)]


def array(ctype: str, name: str, values: list[int], digits: int = 4) -> str:
    return f"const {ctype} {name}[{len(values)}] = {{\n{wrap(f'0x{v:0{digits}X}' for v in values)}}};\n"


def main() -> None:
    with open(SOURCE / "encodings.json", encoding="utf-8") as f:
        groups = json.load(f)
    encodings = [e for g in groups for e in g["encodings"]]
    names = [e["name"] for e in encodings]
    labels = sorted((label, e["name"]) for e in encodings for label in e["labels"])
    assert len(names) == 40 and len(labels) == 228 and len({l for l, _ in labels}) == 228
    assert all(l == l.strip().lower() and l.isascii() for l, _ in labels)
    single = next(g for g in groups if g["heading"] == "Legacy single-byte encodings")["encodings"]
    single_names = [e["name"] for e in single]
    first = names.index(single_names[0])
    assert names[first : first + len(single_names)] == single_names and len(single_names) == 28

    indexes = checked_indexes()
    # ISO-8859-8-I decodes with the iso-8859-8 index.
    single_tables = [
        single_byte_table(indexes["iso-8859-8" if n == "ISO-8859-8-I" else n.lower()]) for n in single_names
    ]

    big5 = indexes["big5"]
    assert not any(p in big5 for p in BIG5_PAIRS)
    assert all(cp < 0x10000 or cp >> 16 == 2 for cp in big5.values())
    plane2 = [p for p, cp in big5.items() if cp > 0xFFFF]
    plane2_words = [0] * ((MULTI_BYTE["big5"] + 63) // 64)
    for p in plane2:
        plane2_words[p >> 6] |= 1 << (p & 63)
    for name in ("jis0208", "jis0212", "euc-kr", "gb18030"):
        assert max(indexes[name].values()) < 0x10000, name
    # Shift_JIS maps these pointers to the Private Use Area before it consults
    # the index; the decoder looks at the index first.
    assert not any(8836 <= p <= 10715 for p in indexes["jis0208"])

    ranges = sorted(indexes["gb18030-ranges"].items())
    assert ranges[0] == (0, 0x80) and ranges[-1] == (189000, 0x10000) and len(ranges) == 207
    # The ranges below 39420 stay inside the BMP and never cover a surrogate.
    bmp = ranges[:-1] + [(39420, 0x10000)]
    for (p0, cp0), (p1, _) in zip(bmp, bmp[1:]):
        last = cp0 + p1 - 1 - p0
        assert last <= 0xFFFF and (last < 0xD800 or cp0 > 0xDFFF), (p0, cp0)

    head = banner("gen_encodings.py", [VERSION + " encodings.json, index-*.txt, indexes.json"])
    enumerators = ",\n".join(f"    {identifier(n)}" for n in names)
    sizes = {n: MULTI_BYTE[n] for n in MULTI_BYTE}
    kib = (28 * 256 * 2 + sum(sizes.values()) * 2 + len(plane2_words) * 8 + len(ranges) * 8) / 1024
    write(
        "encodings.hpp",
        head
        + f"""// The encodings, labels and decoding indexes of the WHATWG Encoding Standard.
//
// `Encoding` lists the Standard's {len(names)} encodings in its order; ENCODING_NAMES
// gives their canonical names. The {len(single_names)} legacy single-byte encodings are the
// consecutive run IBM866 .. x_mac_cyrillic, so the table of e is
// SINGLE_BYTE[e - Encoding::IBM866].
//
// ENCODING_LABELS: the {len(labels)} labels, lower-case ASCII, sorted for binary search
// (eight probes of short strings, once per call).
//
// SINGLE_BYTE: 256 UTF-16 code units per encoding, the ASCII half spelled out
// so that decoding is one load per byte; U+FFFD stands where the index maps
// nothing (no index maps a byte to U+FFFD). ISO-8859-8-I repeats ISO-8859-8.
//
// The multi-byte indexes are dense arrays by pointer, 0 where the index has no
// code point (no pointer maps to U+0000): JIS0208 ({sizes['jis0208']} pointers),
// JIS0212 ({sizes['jis0212']}), EUC_KR ({sizes['euc-kr']}) and GB18030 ({sizes['gb18030']}) hold BMP
// code points only. BIG5 ({sizes['big5']}) holds the low 16 bits; the {len(plane2)} pointers
// whose code point lies in plane 2 have their bit set in BIG5_PLANE2 (bit
// p % 64 of word p / 64), which halves the table against 32-bit entries for
// one extra load. A pointer is a direct index, so a lookup is one load; the
// indexes map most of their pointers, so a list of (pointer, code point) pairs
// searched by bisection would be larger than these {kib:.0f} KiB and take a dozen
// probes per character.
//
// GB18030_RANGES: the {len(ranges)} (pointer, code point) starts of the linear ranges
// of four-byte gb18030 sequences, sorted by pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kelrad::tables {{

enum class Encoding : std::uint8_t {{
{enumerators},
}};

inline constexpr std::size_t ENCODING_COUNT = {len(names)};

extern const std::string_view ENCODING_NAMES[ENCODING_COUNT];

struct EncodingLabel {{
    std::string_view label;
    Encoding encoding;
}};

extern const EncodingLabel ENCODING_LABELS[{len(labels)}];

inline constexpr std::size_t LONGEST_ENCODING_LABEL = {max(len(l) for l, _ in labels)};

inline constexpr Encoding FIRST_SINGLE_BYTE = Encoding::{identifier(single_names[0])};
inline constexpr Encoding LAST_SINGLE_BYTE = Encoding::{identifier(single_names[-1])};

extern const char16_t SINGLE_BYTE[{len(single_names)}][256];

extern const std::uint16_t JIS0208[{sizes['jis0208']}];
extern const std::uint16_t JIS0212[{sizes['jis0212']}];
extern const std::uint16_t EUC_KR[{sizes['euc-kr']}];
extern const std::uint16_t GB18030[{sizes['gb18030']}];
extern const std::uint16_t BIG5[{sizes['big5']}];
extern const std::uint64_t BIG5_PLANE2[{len(plane2_words)}];

struct Gb18030Range {{
    std::uint32_t pointer;
    char32_t code_point;
}};

extern const Gb18030Range GB18030_RANGES[{len(ranges)}];

}}  // namespace kelrad::tables
""",
    )

    body = [head, '#include "tables/encodings.hpp"\n\nnamespace kelrad::tables {\n\n']
    body.append(
        f"const std::string_view ENCODING_NAMES[ENCODING_COUNT] = {{\n{wrap(json.dumps(n) for n in names)}}};\n\n"
    )
    label_rows = "".join(f"    {{{json.dumps(l)}, Encoding::{identifier(n)}}},\n" for l, n in labels)
    body.append(f"const EncodingLabel ENCODING_LABELS[{len(labels)}] = {{\n{label_rows}}};\n\n")
    body.append(f"const char16_t SINGLE_BYTE[{len(single_names)}][256] = {{\n")
    for name, table in zip(single_names, single_tables):
        body.append(f"    // {name}\n    {{\n{wrap((f'0x{v:04X}' for v in table), indent='        ')}    }},\n")
    body.append("};\n\n")
    body.append(array("std::uint16_t", "JIS0208", dense(indexes["jis0208"], sizes["jis0208"])) + "\n")
    body.append(array("std::uint16_t", "JIS0212", dense(indexes["jis0212"], sizes["jis0212"])) + "\n")
    body.append(array("std::uint16_t", "EUC_KR", dense(indexes["euc-kr"], sizes["euc-kr"])) + "\n")
    body.append(array("std::uint16_t", "GB18030", dense(indexes["gb18030"], sizes["gb18030"])) + "\n")
    body.append(array("std::uint16_t", "BIG5", dense(big5, sizes["big5"])) + "\n")
    body.append(array("std::uint64_t", "BIG5_PLANE2", plane2_words, digits=16) + "\n")
    range_rows = wrap(f"{{{p}, 0x{cp:04X}}}" for p, cp in ranges)
    body.append(f"const Gb18030Range GB18030_RANGES[{len(ranges)}] = {{\n{range_rows}}};\n\n")
    body.append("}  // namespace kelrad::tables\n")
    write("encodings.cpp", "".join(body))


if __name__ == "__main__":
    main()
