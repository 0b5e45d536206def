"""Emoji properties and English short names.

Writes two pairs of files:

- emoji.{hpp,cpp}: the emoji-data properties of Unicode 15.1 (Emoji,
  Emoji_Presentation, Emoji_Modifier_Base, and Emoji or Extended_Pictographic)
  as range tables, and the bitmap of the Basic Multilingual Plane characters
  that can start or continue a named emoji.
- emoji_names.{hpp,cpp}: the CLDR 48 English short names ("tts") of single
  code points and of emoji sequences, keys taken with U+FE0F removed.

Single names: every Emoji code point except the keycap bases # * 0-9, U+00A9,
U+00AE and the regional indicators (which are named only in sequences), and
every other single-character key from U+2000 up; those that are neither Emoji
nor Extended_Pictographic are the named text symbols. Sequence names: every
key of two or more code points, in a trie.
"""

from __future__ import annotations

import json
from collections import Counter

import phf
from emit import banner, bmp_bitmap, ranges_body, wrap, write
from gen_transliteration import Pool, string_body
from ucd import DATA, code_point_set, merge_ranges, property_ranges

EMOJI_DATA = DATA / "unicode-15.1.0" / "ucd" / "emoji" / "emoji-data.txt"
CLDR = DATA / "cldr-json-48.2.0"
ANNOTATIONS = CLDR / "annotations" / "en" / "annotations.json"
DERIVED = CLDR / "annotationsDerived" / "en" / "annotations.json"

KEYCAP_BASES = {ord(c) for c in "#*0123456789"}
REGIONAL_INDICATORS = set(range(0x1F1E6, 0x1F200))
UNNAMED_SINGLES = KEYCAP_BASES | {0x00A9, 0x00AE} | REGIONAL_INDICATORS
ZWJ, VS15, VS16 = 0x200D, 0xFE0E, 0xFE0F
NO_NAME = 0xFFFFFFFF

# The counts the tables must come to.
EXPECTED = {
    "Emoji ranges": 151, "Emoji code points": 1424, "Emoji_Presentation ranges": 81,
    "Emoji or Extended_Pictographic ranges": 80, "emoji single names": 1384, "text symbols": 326,
    "pictographic single names": 17, "BMP single names": 497, "slow-path bits": 512, "sequences": 2553,
    "trie nodes": 3452, "starters": 188, "sequences with ZWJ": 1614,
}
EXPECTED_KEY_LENGTHS = {2: 936, 3: 203, 4: 875, 5: 53, 6: 75, 7: 316, 9: 95}

INPUTS = ["UCD 15.1.0 emoji/emoji-data.txt", "CLDR 48 annotations/en and annotationsDerived/en (tts)"]


def cldr_names() -> dict[tuple[int, ...], str]:
    names: dict[tuple[int, ...], str] = {}
    for path, top in ((ANNOTATIONS, "annotations"), (DERIVED, "annotationsDerived")):
        with open(path, encoding="utf-8") as f:
            for key, value in json.load(f)[top]["annotations"].items():
                if "tts" not in value:
                    continue
                cps = tuple(ord(c) for c in key if ord(c) != VS16)
                assert cps not in names, key
                names[cps] = value["tts"][0]
    return names


def check(counts: dict[str, int]) -> None:
    for key, value in counts.items():
        assert EXPECTED[key] == value, (key, value)


class Trie:
    """Nodes numbered breadth first, so that the edges of node i follow those
    of node i - 1 and edge e leads to node e + 1."""

    def __init__(self, keys: dict[tuple[int, ...], int]) -> None:
        children: list[dict[int, int]] = [{}]
        named: dict[int, int] = {}
        for key, ref in keys.items():
            node = 0
            for cp in key:
                node = children[node].setdefault(cp, len(children))
                if node == len(children):
                    children.append({})
            named[node] = ref
        # Renumber breadth first.
        order, number = [0], {0: 0}
        for old in order:
            for cp in sorted(children[old]):
                number[children[old][cp]] = len(order)
                order.append(children[old][cp])
        self.first: list[int] = []
        self.labels: list[int] = []
        self.names: list[int] = []
        for old in order:
            self.first.append(len(self.labels))
            for cp in sorted(children[old]):
                assert number[children[old][cp]] == len(self.labels) + 1
                self.labels.append(cp)
            self.names.append(named.get(old, NO_NAME))
        self.first.append(len(self.labels))
        self.root_edges = {cp: i + 1 for i, cp in enumerate(self.labels[: self.first[1]])}


def phf_map(name: str, values: dict[int, int], comment: str) -> str:
    stem = "k" + "".join(word.capitalize() for word in name.split("_"))
    lay = phf.layout(list(values))
    assert all(phf.lookup(lay, cp) is not None for cp in values)
    disp = wrap(f"{{{d1}, {d2}}}" for d1, d2 in lay.displacements)
    entries = wrap(f"{{0x{cp:04X}, 0x{values[cp]:X}}}" for cp in lay.slots)
    return (f"// {comment}\n"
            f"const phf::Displacement {stem}Displacements[{len(lay.displacements)}] = {{\n{disp}}};\n"
            f"const phf::Entry<std::uint32_t> {stem}Entries[{len(lay.slots)}] = {{\n{entries}}};\n"
            f"constinit const phf::Map<std::uint32_t> {name} = {{0x{lay.key:X}, {stem}Displacements, "
            f"{stem}Entries}};\n\n")


def main() -> None:
    props = property_ranges(EMOJI_DATA)
    emoji = code_point_set(props["Emoji"])
    pictographic = code_point_set(props["Extended_Pictographic"])
    emoji_ranges = merge_ranges(emoji)
    presentation = merge_ranges(code_point_set(props["Emoji_Presentation"]))
    modifier_bases = merge_ranges(code_point_set(props["Emoji_Modifier_Base"]))
    emoji_or_pict = merge_ranges(emoji | pictographic)

    names = cldr_names()
    singles = {cp: names[(cp,)] for cp in emoji - UNNAMED_SINGLES}
    others = {k[0]: v for k, v in names.items() if len(k) == 1 and k[0] >= 0x2000 and k[0] not in emoji}
    text_symbols = {cp for cp in others if cp not in pictographic}
    singles.update(others)
    sequences = {k: v for k, v in names.items() if len(k) >= 2}
    slow_path = {cp for cp in singles if cp < 0x10000} | KEYCAP_BASES | {ZWJ, VS15, VS16}

    pool = Pool(list(singles.values()) + list(sequences.values()))
    trie = Trie({k: pool.ref[v] for k, v in sequences.items()})
    lengths = Counter(len(k) for k in sequences)
    assert dict(lengths) == EXPECTED_KEY_LENGTHS, lengths
    assert not any(k[-1] == ZWJ for k in sequences)
    check({
        "Emoji ranges": len(emoji_ranges), "Emoji code points": len(emoji),
        "Emoji_Presentation ranges": len(presentation), "Emoji or Extended_Pictographic ranges": len(emoji_or_pict),
        "emoji single names": len(singles) - len(others), "text symbols": len(text_symbols),
        "pictographic single names": len(others) - len(text_symbols),
        "BMP single names": sum(1 for cp in singles if cp < 0x10000), "slow-path bits": len(slow_path),
        "sequences": len(sequences), "trie nodes": len(trie.names), "starters": len(trie.root_edges),
        "sequences with ZWJ": sum(1 for k in sequences if ZWJ in k),
    })

    head = banner("gen_emoji.py", INPUTS)
    write_properties(head, emoji_ranges, presentation, modifier_bases, emoji_or_pict, slow_path)
    write_names(head, pool, singles, text_symbols, trie, len(sequences))


def write_properties(head, emoji_ranges, presentation, modifier_bases, emoji_or_pict, slow_path) -> None:
    tables = [
        ("EMOJI_PROPERTY_RANGES", emoji_ranges),
        ("EMOJI_PRESENTATION_RANGES", presentation),
        ("EMOJI_MODIFIER_BASE_RANGES", modifier_bases),
        ("EMOJI_OR_PICTOGRAPHIC_RANGES", emoji_or_pict),
    ]
    decls = "".join(f"extern const CodepointRange {name}[{len(r)}];\n" for name, r in tables)
    write(
        "emoji.hpp",
        head
        + f"""// Emoji properties of Unicode 15.1 (emoji-data.txt), as sorted, disjoint
// inclusive ranges searched by binary search: Emoji ({len(emoji_ranges)} ranges), Emoji_Presentation
// ({len(presentation)}), Emoji_Modifier_Base ({len(modifier_bases)}) and the union of Emoji and
// Extended_Pictographic ({len(emoji_or_pict)}). {sum(len(r) for _, r in tables) * 8 / 1024:.1f} KiB in all; the tests run once per
// candidate emoji, so ranges are small enough and fast enough.
//
// EMOJI_SLOW_PATH_BMP: a bitmap of the Basic Multilingual Plane (bit n of word
// k is code point 64k + n) with {len(slow_path)} bits set: every BMP code point with a
// short name, the keycap bases # * 0-9, U+200D, U+FE0E and U+FE0F. A BMP code
// point outside it can neither start nor continue a named emoji, so text is
// copied past it after one probe.
#pragma once

#include <cstdint>

#include "util/ranges.hpp"

namespace kelrad::tables {{

{decls}extern const std::uint64_t EMOJI_SLOW_PATH_BMP[1024];

}}  // namespace kelrad::tables
""",
    )
    bodies = "".join(f"const CodepointRange {name}[{len(r)}] = {{\n{ranges_body(r)}}};\n\n" for name, r in tables)
    write(
        "emoji.cpp",
        head
        + f"""#include "tables/emoji.hpp"

namespace kelrad::tables {{

{bodies}const std::uint64_t EMOJI_SLOW_PATH_BMP[1024] = {{
{wrap(f"0x{w:X}" for w in bmp_bitmap(slow_path))}}};

}}  // namespace kelrad::tables
""",
    )


def write_names(head, pool, singles, text_symbols, trie, sequence_count) -> None:
    edges = len(trie.labels)
    maps = (
        phf_map("EMOJI_SINGLE_NAMES", {cp: pool.ref[v] for cp, v in singles.items()},
                "Code point -> name reference.")
        + phf_map("NAMED_TEXT_SYMBOLS", {cp: pool.ref[singles[cp]] for cp in text_symbols},
                  "Code point -> name reference; a subset of EMOJI_SINGLE_NAMES.")
        + phf_map("EMOJI_SEQUENCE_STARTERS", trie.root_edges, "First code point of a key -> its node below the root.")
    )
    write(
        "emoji_names.hpp",
        head
        + f"""// English short names of emoji (CLDR "tts" annotations), such as "grinning
// face", "flag: Germany", "thumbs up: light skin tone".
//
// A name is a text reference: its byte offset into EMOJI_NAME_POOL shifted left
// by 8, plus its length. The pool is {len(pool.data)} bytes; equal names, and names
// that occur inside longer ones, share their bytes.
//
// Perfect-hash maps (util/perfect_hash.hpp), one probe each:
// - EMOJI_SINGLE_NAMES: {len(singles)} code points -> name. Every code point with the Emoji
//   property except # * 0-9, U+00A9, U+00AE and the regional indicators, and
//   the other single code points from U+2000 up that CLDR names.
// - NAMED_TEXT_SYMBOLS: the {len(text_symbols)} of them that are neither Emoji nor
//   Extended_Pictographic (arrows, operators, currency signs, punctuation).
// - EMOJI_SEQUENCE_STARTERS: the {len(trie.root_edges)} first code points of the sequence keys,
//   each mapped to its node below the root of the trie.
//
// The name trie: {sequence_count} sequences of 2 to 9 code points (every U+FE0F removed)
// -> name. {len(trie.names)} nodes numbered breadth first, so that the {edges} edges
// are grouped by node in node order and edge e leads to node e + 1: node i
// owns the edges EMOJI_TRIE_FIRST[i] .. EMOJI_TRIE_FIRST[i + 1] - 1, whose labels
// in EMOJI_TRIE_LABELS are sorted for binary search; EMOJI_TRIE_NAMES[i] is the
// node's name reference or kNoEmojiName. {(len(trie.first) * 2 + edges * 4 + len(trie.names) * 4) / 1024:.1f} KiB.
#pragma once

#include <cstdint>
#include <string_view>

#include "util/perfect_hash.hpp"

namespace kelrad::tables {{

inline constexpr std::uint32_t kNoEmojiName = 0x{NO_NAME:X};

extern const char EMOJI_NAME_POOL[{len(pool.data) + 1}];

inline std::string_view emoji_name(std::uint32_t ref) noexcept {{
    return {{EMOJI_NAME_POOL + (ref >> 8), ref & 0xFFU}};
}}

extern const phf::Map<std::uint32_t> EMOJI_SINGLE_NAMES;
extern const phf::Map<std::uint32_t> NAMED_TEXT_SYMBOLS;
extern const phf::Map<std::uint32_t> EMOJI_SEQUENCE_STARTERS;

extern const std::uint16_t EMOJI_TRIE_FIRST[{len(trie.first)}];
extern const char32_t EMOJI_TRIE_LABELS[{edges}];
extern const std::uint32_t EMOJI_TRIE_NAMES[{len(trie.names)}];

}}  // namespace kelrad::tables
""",
    )
    write(
        "emoji_names.cpp",
        head
        + f"""#include "tables/emoji_names.hpp"

namespace kelrad::tables {{

const char EMOJI_NAME_POOL[{len(pool.data) + 1}] =
{string_body(pool.data).rstrip()};

{maps}const std::uint16_t EMOJI_TRIE_FIRST[{len(trie.first)}] = {{
{wrap(str(v) for v in trie.first)}}};

const char32_t EMOJI_TRIE_LABELS[{edges}] = {{
{wrap(f"0x{v:04X}" for v in trie.labels)}}};

const std::uint32_t EMOJI_TRIE_NAMES[{len(trie.names)}] = {{
{wrap(f"0x{v:X}" for v in trie.names)}}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
