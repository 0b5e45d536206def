"""Emoji properties and English short names.

Writes emoji.{hpp,cpp}: the emoji-data properties of Unicode 15.1 (Emoji,
Emoji_Presentation, Emoji_Modifier_Base, and Emoji or Extended_Pictographic),
the CLDR 48 English short names ("tts") of single code points and of emoji
sequences (keys taken with U+FE0F removed), and the bitmap of the Basic
Multilingual Plane characters that can start or continue a named emoji.

Single names: every Emoji code point except the keycap bases # * 0-9, U+00A9,
U+00AE and the regional indicators (which are named only in sequences), and
every other single-character key from U+2000 up; those that are neither Emoji
nor Extended_Pictographic are the named text symbols. Sequence names: every
key of two or more code points, in a trie.
"""

from __future__ import annotations

import json
from collections import Counter

from emit import Pool, banner, bmp_bitmap, string_body, two_stage, two_stage_definitions, wrap, write
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
INDEX_END = 0x20000  # every emoji and named character lies below

# Property flags of an entry; the C++ header names them.
EMOJI, PRESENTATION, MODIFIER_BASE, EMOJI_OR_PICTOGRAPHIC, TEXT_SYMBOL = 0x01, 0x02, 0x04, 0x08, 0x10
FLAG_NAMES = [("kEmoji", EMOJI), ("kEmojiPresentation", PRESENTATION), ("kEmojiModifierBase", MODIFIER_BASE),
              ("kEmojiOrPictographic", EMOJI_OR_PICTOGRAPHIC), ("kNamedTextSymbol", TEXT_SYMBOL)]

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


def main() -> None:
    props = property_ranges(EMOJI_DATA)
    emoji = code_point_set(props["Emoji"])
    presentation = code_point_set(props["Emoji_Presentation"])
    modifier_bases = code_point_set(props["Emoji_Modifier_Base"])
    pictographic = code_point_set(props["Extended_Pictographic"])

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
        "Emoji ranges": len(merge_ranges(emoji)), "Emoji code points": len(emoji),
        "Emoji_Presentation ranges": len(merge_ranges(presentation)),
        "Emoji or Extended_Pictographic ranges": len(merge_ranges(emoji | pictographic)),
        "emoji single names": len(singles) - len(others), "text symbols": len(text_symbols),
        "pictographic single names": len(others) - len(text_symbols),
        "BMP single names": sum(1 for cp in singles if cp < 0x10000), "slow-path bits": len(slow_path),
        "sequences": len(sequences), "trie nodes": len(trie.names), "starters": len(trie.root_edges),
        "sequences with ZWJ": sum(1 for k in sequences if ZWJ in k),
    })

    def flags(cp: int) -> int:
        return ((EMOJI if cp in emoji else 0) | (PRESENTATION if cp in presentation else 0)
                | (MODIFIER_BASE if cp in modifier_bases else 0)
                | (EMOJI_OR_PICTOGRAPHIC if cp in emoji or cp in pictographic else 0)
                | (TEXT_SYMBOL if cp in text_symbols else 0))

    # One entry per distinct (single name, trie node, flags); entry 0 has
    # none of them and stands for most code points.
    entry_of: dict[tuple[int, int, int], int] = {(NO_NAME, 0, 0): 0}
    index = []
    for cp in range(INDEX_END):
        key = (pool.ref[singles[cp]] if cp in singles else NO_NAME, trie.root_edges.get(cp, 0), flags(cp))
        index.append(entry_of.setdefault(key, len(entry_of)))
    assert all(cp < INDEX_END for cp in emoji | pictographic | set(singles))
    entries = sorted(entry_of, key=entry_of.get)

    head = banner("gen_emoji.py", INPUTS)
    write_tables(head, pool, entries, index, trie, slow_path,
                 {"singles": len(singles), "text symbols": len(text_symbols), "sequences": len(sequences),
                  "Emoji": len(merge_ranges(emoji)), "Emoji_Presentation": len(merge_ranges(presentation)),
                  "Emoji_Modifier_Base": len(merge_ranges(modifier_bases)),
                  "Emoji or Extended_Pictographic": len(merge_ranges(emoji | pictographic))})


def write_tables(head, pool, entries, index, trie, slow_path, counts) -> None:
    shift, stage1, stage2 = two_stage(index, entry_bytes=2)
    assert len(entries) < 1 << 16
    edges = len(trie.labels)
    index_kib = (len(stage1) + 2 * len(stage2) + 8 * len(entries)) / 1024
    flag_consts = "".join(f"inline constexpr std::uint8_t {name} = 0x{value:02X};\n" for name, value in FLAG_NAMES)
    write(
        "emoji.hpp",
        head
        + f"""// Emoji properties (Unicode 15.1, emoji-data.txt) and English short names of
// emoji (CLDR "tts" annotations), such as "grinning face", "flag: Germany",
// "thumbs up: light skin tone".
//
// Code points, through one lookup: a two-stage table maps every code point
// below U+{INDEX_END:X} (where all emoji and named characters lie) to one of {len(entries)} entries
// of EMOJI_ENTRIES (kEmojiIndexBlock[cp >> {shift}] names one of {len(stage2) >> shift} blocks of {1 << shift}
// entry numbers in kEmojiIndex); entry 0, which stands for every other code
// point too, has no name, no trie node and no property. {index_kib:.1f} KiB in all;
// two loads and an entry where the property ranges would take a binary
// search each (Emoji {counts['Emoji']} ranges, Emoji_Presentation {counts['Emoji_Presentation']}, Emoji_Modifier_Base
// {counts['Emoji_Modifier_Base']}, Emoji or Extended_Pictographic {counts['Emoji or Extended_Pictographic']}) and the name maps a hash and two divisions.
// An entry holds:
// - the single name ({counts['singles']} code points): every code point with the Emoji
//   property except # * 0-9, U+00A9, U+00AE and the regional indicators, and
//   the other single code points from U+2000 up that CLDR names;
// - the node below the root of the name trie, for the {len(trie.root_edges)} code points that
//   begin a named sequence;
// - the property flags below; {counts['text symbols']} named code points are text symbols, neither
//   Emoji nor Extended_Pictographic (arrows, operators, currency signs).
//
// A name is a text reference: its byte offset into EMOJI_NAME_POOL shifted left
// by 8, plus its length. The pool is {len(pool.data)} bytes; equal names, and names
// that occur inside longer ones, share their bytes.
//
// The name trie: {counts['sequences']} sequences of 2 to 9 code points (every U+FE0F removed)
// -> name. {len(trie.names)} nodes numbered breadth first, so that the {edges} edges
// are grouped by node in node order and edge e leads to node e + 1: node i
// owns the edges EMOJI_TRIE_FIRST[i] .. EMOJI_TRIE_FIRST[i + 1] - 1, whose labels
// in EMOJI_TRIE_LABELS are sorted for binary search; EMOJI_TRIE_NAMES[i] is the
// node's name reference or kNoEmojiName. {(len(trie.first) * 2 + edges * 4 + len(trie.names) * 4) / 1024:.1f} KiB.
//
// EMOJI_SLOW_PATH_BMP: a bitmap of the Basic Multilingual Plane (bit n of word
// k is code point 64k + n) with {len(slow_path)} bits set: every BMP code point with a
// short name, the keycap bases # * 0-9, U+200D, U+FE0E and U+FE0F. A BMP code
// point outside it can neither start nor continue a named emoji, so text is
// copied past it after one probe.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelrad::tables {{

inline constexpr std::uint32_t kNoEmojiName = 0x{NO_NAME:X};

extern const char EMOJI_NAME_POOL[{len(pool.data) + 1}];

inline std::string_view emoji_name(std::uint32_t ref) noexcept {{
    return {{EMOJI_NAME_POOL + (ref >> 8), ref & 0xFFU}};
}}

{flag_consts}
struct EmojiEntry {{
    std::uint32_t name;       // the single name, or kNoEmojiName
    std::uint16_t trie_node;  // the node below the root of the trie, or 0
    std::uint8_t flags;       // kEmoji ... kNamedTextSymbol
}};

inline constexpr char32_t kEmojiIndexEnd = 0x{INDEX_END:X};
inline constexpr unsigned kEmojiIndexShift = {shift};
extern const std::uint8_t kEmojiIndexBlock[{len(stage1)}];
extern const std::uint16_t kEmojiIndex[{len(stage2)}];
extern const EmojiEntry EMOJI_ENTRIES[{len(entries)}];

inline const EmojiEntry& emoji_entry(char32_t cp) noexcept {{
    if (cp >= kEmojiIndexEnd) return EMOJI_ENTRIES[0];
    return EMOJI_ENTRIES[kEmojiIndex[(static_cast<unsigned>(kEmojiIndexBlock[cp >> kEmojiIndexShift]) << kEmojiIndexShift) |
                                     (cp & ((1U << kEmojiIndexShift) - 1))]];
}}

extern const std::uint16_t EMOJI_TRIE_FIRST[{len(trie.first)}];
extern const char32_t EMOJI_TRIE_LABELS[{edges}];
extern const std::uint32_t EMOJI_TRIE_NAMES[{len(trie.names)}];

extern const std::uint64_t EMOJI_SLOW_PATH_BMP[1024];

}}  // namespace kelrad::tables
""",
    )
    write(
        "emoji.cpp",
        head
        + f"""#include "tables/emoji.hpp"

namespace kelrad::tables {{

const char EMOJI_NAME_POOL[{len(pool.data) + 1}] =
{string_body(pool.data).rstrip()};

{two_stage_definitions("kEmojiIndexBlock", "kEmojiIndex", "std::uint16_t", stage1, stage2)}
const EmojiEntry EMOJI_ENTRIES[{len(entries)}] = {{
{wrap(f"{{0x{name:X}, {node}, 0x{fl:02X}}}" for name, node, fl in entries)}}};

const std::uint16_t EMOJI_TRIE_FIRST[{len(trie.first)}] = {{
{wrap(str(v) for v in trie.first)}}};

const char32_t EMOJI_TRIE_LABELS[{edges}] = {{
{wrap(f"0x{v:04X}" for v in trie.labels)}}};

const std::uint32_t EMOJI_TRIE_NAMES[{len(trie.names)}] = {{
{wrap(f"0x{v:X}" for v in trie.names)}}};

const std::uint64_t EMOJI_SLOW_PATH_BMP[1024] = {{
{wrap(f"0x{w:X}" for w in bmp_bitmap(slow_path))}}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
