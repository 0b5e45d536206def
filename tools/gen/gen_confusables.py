"""Confusable (homoglyph) tables of UTS #39: src/tables/confusables.*.

confusables.txt (17.0.0) pairs every source character with a prototype, a
short sequence it can be mistaken for. The sources of one prototype, together
with the prototype itself when it is one character, form a class. A target
map folds a source to a look-alike written in the target script or in common
characters; the rules below choose, for each target, which sources fold and
to what. "Block script" is the script row of gen_scripts.py holding the
character (rows only, without the Common overrides, so U+FD3E and U+FD3F are
Arabic); a character in no row is Common.

Latin:
1. A source whose prototype is all ASCII maps to the prototype. Of the ASCII
   sources only U+0022, U+0060 and U+007C fold; the others (% 0 1 I m) are
   what a Latin reader expects to see.
2. A source of another block script whose prototype, canonically decomposed
   with Mn and Me removed, is non-empty ASCII maps to that (Cyrillic U+0411
   to "b", from b with macron).
3. A Latin source whose prototype is ASCII letters plus marks that all
   compose (the NFC holds no mark) maps to that NFC form (U+011B to U+0115,
   U+01C4 to U+0044 U+017D). Other Latin letters keep their marks: TR39 pairs
   U+00E7 with c and comma below, not with c, so U+00E7 is no key.
4. Every DIGIT_PROTOTYPES key is a key. A key of General_Category Nd maps to
   its ASCII digit (U+0661 to "1", U+1D7CE to "0"); a key of Nl or No whose
   NFKC form is one ASCII character maps to that (U+2160 to "I").

Cyrillic, Arabic, Hebrew: classes whose prototype starts with a Mn or Me mark
are skipped (marks are no letters to fold to). The candidates of a class are
its members whose block script is the target. Every other member except the
ASCII digits maps to a candidate: the prototype when it is one; else for an
upper-case letter (Lu) the lowest Lu candidate, for a lower-case letter (Ll)
the lowest Ll candidate or else the lower-case mapping of the lowest
candidate when that has the target's block script; any other member takes
what a one-character cased prototype would get (so "|" follows "l");
otherwise the lowest candidate. A key of category Nd then maps to its ASCII
digit (U+1D7CF to "1").

Last, the reviewed rows of confusables_extra.tsv add look-alikes that are no
TR39 sources (U+0101, U+0138, the squared and negative circled capitals).

The generator fails when a prototype holds a key of its own map (one pass of
the fold must be stable on its own output), when a row that callers rely on
(TELLING_ROWS, the ASCII keys) changes, or when a count drifts from the
checksums below.

Also written: the 47 DIGIT_PROTOTYPES of the "tr39" digit policy, as written
here (17.0.0 gives U+0668 and U+06F8 the prototype U+0245 and U+2070 U+00BA;
the policy keeps "a" and "o"); the set of TR39 sources; the coverage of each
script (Scripts.txt script of a prototype's first character: how many
sources, how many some map folds); and the sorted names of the block-based
script table.
"""

from __future__ import annotations

import pathlib
import re

import phf
from emit import Pool, banner, bmp_bitmap, cpp_string, ranges_body, wrap, write
from gen_normalization import Ucd
from gen_scripts import script_rows
from ucd import DATA, UCD17, data_lines, general_categories, merge_ranges, property_ranges, unicode_data

HERE = pathlib.Path(__file__).resolve().parent
CONFUSABLES = DATA / "unicode-17.0.0" / "security" / "confusables.txt"
EXTRAS = HERE / "confusables_extra.tsv"

TARGETS = ("latin", "cyrillic", "arabic", "hebrew")
BLOCK_SCRIPT = {"cyrillic": "Cyrillic", "arabic": "Arabic", "hebrew": "Hebrew"}
LATIN_ASCII_SOURCES = {0x22, 0x60, 0x7C}


def _digits(spec: str) -> dict[int, str]:
    out: dict[int, str] = {}
    for group in spec.split(";"):
        cps, value = group.split("->")
        for cp in cps.split():
            out[int(cp, 16)] = value.strip()
    return out


def _ascii_keys(spec: str) -> dict[str, str]:
    """'A 0410 B 0412 ...': each ASCII key and the code point of its prototype."""
    items = spec.split()
    return {key: chr(int(cp, 16)) for key, cp in zip(items[::2], items[1::2], strict=True)}


DIGIT_PROTOTYPES = _digits(
    "0660 06F0 -> .; 0661 06F1 -> l; 0665 06F5 -> o; 0667 06F7 -> V; 0668 06F8 -> a;"
    "0966 09E6 0A66 0AE6 0B66 0BE6 0C66 0D66 0E50 0ED0 1040 17E0 2070 114D0 -> o;"
    "07C0 0CE6 118E0 11DE0 1CCF0 1D7CE 1D7D8 1D7E2 1D7EC 1D7F6 1FBF0 -> O;"
    "11DE1 1CCF1 1D7CF 1D7D9 1D7E3 1D7ED 1D7F7 1FBF1 -> l;"
    "118E3 -> rn; 118E5 -> Z; 118E6 -> W; 118E9 -> C"
)

# Rows that callers and documentation rely on: target -> {source: prototype}.
TELLING_ROWS = {
    "latin": {
        0x0430: "a", 0x03BF: "o", 0x0261: "g", 0xFF41: "a", 0x1D41A: "a", 0x2160: "I", 0x217C: "l",
        0xFB01: "fi", 0x2025: "..", 0x1D7CE: "0", 0x1D592: "rn", 0x2026: "...", 0x2485: "(l8)", 0x0101: "\u00e3",
        0x0138: "k", 0x1F182: "S", 0x0661: "1", 0x2070: "0", 0x0411: "b", 0x011B: "\u0115", 0x01CE: "\u0103",
        0x0150: "\u00d6", 0x01C4: "D\u017d",
    },
    "cyrillic": {0x1D7CF: "1"},
    "arabic": {},
    "hebrew": {},
}
# The complete ASCII keys of each map (Latin: with their prototypes; the others:
# with the code point of their one-character prototypes).
ASCII_KEYS = {
    "latin": {'"': "''", "`": "'", "|": "l"},
    "cyrillic": _ascii_keys(
        "A 0410 B 0412 C 0421 E 0415 G 050C H 041D I 0406 J 0408 K 041A M 041C O 041E P 0420 S 0405 T 0422 V 0474 "
        "W 051C X 0425 Y 0423 a 0430 b 044C c 0441 d 0501 e 0435 h 04BB i 0456 j 0458 l 04CF o 043E p 0440 q 051B "
        "r 0433 s 0455 v 0475 w 0448 x 0445 y 0443 | 04CF"),
    "arabic": _ascii_keys("% 066A ( FD3E ) FD3F * 066D , 060D - 06D4 . 0660 I 0627 V 0667 l 0627 o 0647 | 0627"),
    "hebrew": _ascii_keys("\" 05F2 ' 05D9 : 05C3 I 05C0 ` 05D9 l 05C0 o 05E1 v 05D8 | 05C0"),
}
# Checksums of the rules on the 17.0.0 data: entries, keys above U+FFFF, keys
# that are TR39 sources, prototypes of more than one character, prototypes that
# are one ASCII digit, non-ASCII prototypes (Latin), sources left unmapped.
CHECKSUMS = {
    "latin": (2101, 1159, 2021, 270, 155, 22, 4544),
    "cyrillic": (1341, 824, 1275, 0, 66, None, 5290),
    "arabic": (372, 250, 362, 0, 23, None, 6203),
    "hebrew": (261, 100, 256, 0, 25, None, 6309),
}
SOURCE_COUNT = 6565
FOLDED_COUNT = 2399
# Sources per script of their prototype (as in the TR39 data) and how many the maps fold.
COVERAGE = """
Arabic 933/149; Armenian 21/0; Balinese 5/0; Bamum 1/0; Bengali 44/0; Bhaiksuki 1/0; Bopomofo 3/0;
CanadianAboriginal 143/0; Carian 8/3; Cham 2/0; Cherokee 1/0; Common 893/457; Cyrillic 37/22; Deseret 2/0;
Devanagari 51/0; Ethiopic 4/0; Glagolitic 1/0; Greek 159/69; Gujarati 7/0; Gurmukhi 5/0; Han 1393/0;
Hangul 400/0; Hebrew 24/4; Hiragana 1/0; Inherited 143/0; Javanese 2/0; Kannada 2/0; Katakana 1/0;
Kharoshthi 1/0; Khmer 2/0; Lao 2/0; Latin 1985/1695; Lepcha 1/0; Lisu 11/0; Malayalam 26/0; Marchen 1/0;
MeroiticHieroglyphs 2/0; Miao 1/0; Modi 1/0; Mongolian 2/0; Myanmar 11/0; NewTaiLue 2/0; Newa 7/0; OlChiki 1/0;
OldHungarian 2/0; Oriya 2/0; Osmanya 1/0; PauCinHau 13/0; Runic 24/0; Sharada 6/0; Siddham 6/0; Sinhala 12/0;
Syriac 1/0; Tagalog 1/0; TaiTham 4/0; Tamil 41/0; Telugu 40/0; Thai 32/0; Tibetan 14/0; Tifinagh 8/0;
Ugaritic 3/0; Yi 12/0
"""

GENERATOR = "gen_confusables.py"
INPUTS = ["UTS #39 17.0.0 confusables.txt", "UCD 17.0.0 UnicodeData.txt, Scripts.txt, DerivedGeneralCategory.txt, "
          "DerivedCombiningClass.txt", "the block-based script rows", "confusables_extra.tsv"]


class Unicode:
    """The character data the rules consult."""

    def __init__(self) -> None:
        self.norm = Ucd()
        self.composites = self.norm.primary_composites()
        self.gc = general_categories()
        self.lower: dict[int, int] = {}
        self.digit: dict[int, int] = {}
        self.name: dict[int, str] = {}
        for fields in unicode_data():
            cp = int(fields[0], 16)
            self.name[cp] = fields[1]
            if fields[13]:
                self.lower[cp] = int(fields[13], 16)
            if fields[6]:
                self.digit[cp] = int(fields[6])
        rows = script_rows()
        self.block_script: dict[int, str] = {}
        for first, last, name in rows:
            for cp in range(first, last + 1):
                self.block_script[cp] = name
        self.script_names = sorted({name for *_, name in rows} | {"Common"})
        self.script: dict[int, str] = {}
        for value, ranges in property_ranges(UCD17 / "Scripts.txt").items():
            for a, b in ranges:
                for cp in range(a, b + 1):
                    self.script[cp] = value.replace("_", "")

    def is_mark(self, cp: int) -> bool:
        return self.gc.get(cp, "Cn") in ("Mn", "Mc", "Me")

    def is_mn_me(self, cp: int) -> bool:
        return self.gc.get(cp, "Cn") in ("Mn", "Me")

    def nfd(self, cps: list[int], compat: bool = False) -> list[int]:
        """The canonical (or compatibility) decomposition in canonical order."""
        out = [d for cp in cps for d in self.norm.decompose(cp, compat)]
        ccc = self.norm.combining_class
        i = 0
        while i < len(out):  # stable sort of every run of non-starters by class
            j = i
            while j < len(out) and ccc(out[j]) != 0:
                j += 1
            out[i:j] = sorted(out[i:j], key=ccc)
            i = j + 1
        return out

    def nfc(self, cps: list[int], compat: bool = False) -> list[int]:
        """NFC (or NFKC) by the canonical composition algorithm of UAX #15.
        Hangul is left out: the rules only compose Latin letters and digits."""
        out: list[int] = []
        starter: int | None = None
        last_ccc = -1  # class of the last character kept after the starter; -1: none
        for cp in self.nfd(cps, compat):
            ccc = self.norm.combining_class(cp)
            if starter is not None and (last_ccc == -1 or 0 < last_ccc < ccc):
                composite = self.composites.get((out[starter], cp))
                if composite is not None:
                    out[starter] = composite
                    continue
            if ccc == 0:
                starter, last_ccc = len(out), -1
            else:
                last_ccc = ccc
            out.append(cp)
        return out


def read_sources() -> dict[int, list[int]]:
    return {int(f[0], 16): [int(x, 16) for x in f[1].split()] for f in data_lines(CONFUSABLES)}


def is_ascii(cps) -> bool:
    return all(cp < 0x80 for cp in cps)


def text(cps: list[int]) -> str:
    return "".join(map(chr, cps))


def latin_map(sources: dict[int, list[int]], u: Unicode) -> dict[int, str]:
    out: dict[int, str] = {}
    for source, proto in sources.items():
        if source < 0x80 and source not in LATIN_ASCII_SOURCES:
            continue
        if is_ascii(proto):
            out[source] = text(proto)
        elif u.block_script.get(source, "Common") != "Latin":
            bare = [cp for cp in u.nfd(proto) if not u.is_mn_me(cp)]
            if bare and is_ascii(bare):
                out[source] = text(bare)
        elif all((cp < 0x80 and chr(cp).isalpha()) or u.is_mark(cp) for cp in u.nfd(proto)):
            composed = u.nfc(proto)
            if not any(u.is_mark(cp) for cp in composed):
                out[source] = text(composed)
    for source in DIGIT_PROTOTYPES:
        out.setdefault(source, text(sources[source]))
    for source in out:
        category = u.gc[source]
        if category == "Nd":
            out[source] = str(u.digit[source])
        elif category in ("Nl", "No"):
            nfkc = u.nfc([source], compat=True)
            if len(nfkc) == 1 and nfkc[0] < 0x80:
                out[source] = chr(nfkc[0])
    return out


def script_map(sources: dict[int, list[int]], u: Unicode, target: str) -> dict[int, str]:
    script = BLOCK_SCRIPT[target]
    classes: dict[tuple[int, ...], list[int]] = {}
    for source, proto in sources.items():
        classes.setdefault(tuple(proto), []).append(source)
    out: dict[int, str] = {}
    for proto, members in classes.items():
        if u.is_mn_me(proto[0]):
            continue
        members = sorted(set(members) | ({proto[0]} if len(proto) == 1 else set()))
        candidates = [cp for cp in members if u.block_script.get(cp) == script]
        if not candidates:
            continue

        def cased_choice(cp: int) -> int | None:
            if len(proto) == 1 and proto[0] in candidates:
                return proto[0]
            category = u.gc[cp]
            if category in ("Lu", "Ll"):
                same = [c for c in candidates if u.gc[c] == category]
                if same:
                    return same[0]
            if category == "Ll":
                lower = u.lower.get(candidates[0])
                if lower is not None and u.block_script.get(lower) == script:
                    return lower
            return None

        cased_proto = len(proto) == 1 and u.gc.get(proto[0]) in ("Lu", "Ll")
        for cp in members:
            if cp in candidates or 0x30 <= cp <= 0x39:
                continue
            choice = cased_choice(cp)
            if choice is None and u.gc[cp] not in ("Lu", "Ll") and cased_proto:
                choice = cased_choice(proto[0])
            out[cp] = chr(candidates[0] if choice is None else choice)
    for source in out:
        if u.gc[source] == "Nd":
            out[source] = str(u.digit[source])
    return out


EXTRA_LINE = re.compile(r'^(latin|cyrillic|arabic|hebrew)\tU\+([0-9A-F]{4,6})(?:\.\.U\+([0-9A-F]{4,6}))?'
                        r'\t(letter|"((?:[^"\\]|\\.)*)")\t# \S')
NAME_LETTER = re.compile(r" LATIN CAPITAL LETTER ([A-Z])$")


def add_extras(maps: dict[str, dict[int, str]], sources: dict[int, list[int]], u: Unicode) -> None:
    with open(EXTRAS, encoding="utf-8", newline="\n") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            m = EXTRA_LINE.match(line)
            if not m:
                raise SystemExit(f"{EXTRAS.name}:{n}: malformed line {line!r}")
            first = int(m[2], 16)
            last = int(m[3], 16) if m[3] else first
            for cp in range(first, last + 1):
                if cp in sources or cp in maps[m[1]]:
                    raise SystemExit(f"{EXTRAS.name}:{n}: U+{cp:04X} is a TR39 source or already a key")
                if m[4] == "letter":
                    letter = NAME_LETTER.search(u.name.get(cp, ""))
                    if not letter:
                        raise SystemExit(f"{EXTRAS.name}:{n}: the name of U+{cp:04X} ends in no capital letter")
                    maps[m[1]][cp] = letter[1]
                else:
                    maps[m[1]][cp] = re.sub(r"\\(.)", r"\1", m[5])


def check(maps: dict[str, dict[int, str]], sources: dict[int, list[int]]) -> None:
    for target, mapping in maps.items():
        for cp, value in mapping.items():
            if not value or any(ord(c) in mapping for c in value):
                raise SystemExit(f"{target}: the prototype {value!r} of U+{cp:04X} is empty or holds a key")
        for cp, value in TELLING_ROWS[target].items():
            if mapping.get(cp) != value:
                raise SystemExit(f"{target}: U+{cp:04X} maps to {mapping.get(cp)!r}, not {value!r}")
        ascii_keys = {chr(cp): v for cp, v in mapping.items() if cp < 0x80}
        if ascii_keys != ASCII_KEYS[target]:
            raise SystemExit(f"{target}: ASCII keys {ascii_keys}")
        values = list(mapping.values())
        got = (len(mapping), sum(cp > 0xFFFF for cp in mapping), sum(cp in sources for cp in mapping),
               sum(len(v) > 1 for v in values), sum(len(v) == 1 and "0" <= v <= "9" for v in values),
               sum(not v.isascii() for v in values) if target == "latin" else None,
               sum(cp not in mapping for cp in sources))
        if got != CHECKSUMS[target]:
            raise SystemExit(f"{target}: counts {got}, expected {CHECKSUMS[target]}")
    if max(len(v) for v in maps["latin"].values()) > 4:
        raise SystemExit("a Latin prototype longer than four characters")


def coverage(maps: dict[str, dict[int, str]], sources: dict[int, list[int]], u: Unicode) -> list[tuple[str, int, int]]:
    rows: dict[str, list[int]] = {}
    for source, proto in sources.items():
        row = rows.setdefault(u.script[proto[0]], [0, 0])
        row[0] += 1
        row[1] += any(source in m for m in maps.values())
    out = sorted((name, s, f) for name, (s, f) in rows.items())
    expected = [item.split() for item in COVERAGE.replace("\n", " ").split(";")]
    if [(n, f"{s}/{f}") for n, s, f in out] != [(n, v) for n, v in expected]:
        raise SystemExit(f"coverage rows changed: {out}")
    return out


# ---------------------------------------------------------------------------
# Emission


def map_arrays(name: str, mapping: dict[int, str], pool: Pool) -> str:
    lay = phf.layout(list(mapping))
    for cp in mapping:
        assert phf.lookup(lay, cp) is not None
    disp = wrap(f"{{{d1}, {d2}}}" for d1, d2 in lay.displacements)
    entries = wrap(f"{{0x{cp:04X}, 0x{pool.ref[mapping[cp]]:06X}}}" for cp in lay.slots)
    return (f"const phf::Displacement k{name}Displacements[{len(lay.displacements)}] = {{\n{disp}}};\n\n"
            f"const phf::Entry<std::uint32_t> k{name}Entries[{len(lay.slots)}] = {{\n{entries}}};\n\n"
            f"constexpr phf::Map<std::uint32_t> k{name}Map = "
            f"{{0x{lay.key:X}, k{name}Displacements, k{name}Entries}};\n")


def bitmap_body(keys) -> str:
    return wrap(f"0x{w:X}" for w in bmp_bitmap(keys))


def main() -> None:
    u = Unicode()
    sources = read_sources()
    if len(sources) != SOURCE_COUNT or set(DIGIT_PROTOTYPES) - set(sources) or len(DIGIT_PROTOTYPES) != 47:
        raise SystemExit("confusables.txt or the digit prototypes changed")
    maps = {"latin": latin_map(sources, u)}
    for target in TARGETS[1:]:
        maps[target] = script_map(sources, u, target)
    add_extras(maps, sources, u)
    check(maps, sources)
    rows = coverage(maps, sources, u)
    folded = sum(f for _, _, f in rows)
    if folded != FOLDED_COUNT:
        raise SystemExit(f"{folded} sources folded")
    source_ranges = merge_ranges(set(sources))

    pool = Pool([v for m in maps.values() for v in m.values()] + list(DIGIT_PROTOTYPES.values()))
    upper = {t: t.upper() for t in TARGETS}
    stem = {t: t.capitalize() for t in TARGETS}
    lat, cyr, ara, heb = (maps[t] for t in TARGETS)

    def above(m):
        return sum(cp > 0xFFFF for cp in m)

    multi = sum(len(v) > 1 for v in lat.values())
    not_ascii = sum(not v.isascii() for v in lat.values())
    values = sum(len(m) for m in maps.values()) + len(DIGIT_PROTOTYPES)

    head = banner(GENERATOR, INPUTS)
    names = ", ".join(f"k{n}" for n in u.script_names)
    decls = "".join(
        f"extern const std::uint64_t CONFUSABLE_BMP_{upper[t]}[1024];\n"
        f"extern const ConfusableMap CONFUSABLES_{upper[t]};  // {len(maps[t])} entries\n" for t in TARGETS)
    write("confusables.hpp", head + f"""// Confusable (homoglyph) data of UTS #39, version 17.0.0: four target maps,
// the digit prototypes of the "tr39" digit policy, the set of TR39 sources,
// the coverage of each script and the script names that reports accept.
//
// A target map takes a source character to its prototype, a non-empty text in
// the target script or in common characters. CONFUSABLES_LATIN holds {len(lat)}
// entries ({above(lat)} keys above U+FFFF, {multi} prototypes of two to four characters,
// {not_ascii} of them not ASCII), CONFUSABLES_CYRILLIC {len(cyr)} ({above(cyr)} above U+FFFF),
// CONFUSABLES_ARABIC {len(ara)} ({above(ara)}) and CONFUSABLES_HEBREW {len(heb)} ({above(heb)}); tools/gen/{GENERATOR}
// gives the rules that chose them. No prototype holds a key of its own map,
// so one pass of a fold is stable on its own output.
//
// Each map is a perfect-hash map (util/perfect_hash.hpp) whose 8-byte entries
// hold a text reference into kConfusablePool: the byte offset shifted left by
// 8, plus the length. Equal prototypes, and prototypes inside longer ones,
// share their bytes: the pool of all {values:,} values is {len(pool.data):,} bytes. A lookup is
// one hash, two reads and one compare. In front of each map stands its BMP
// pre-filter, 1024 words over U+0000..U+FFFF with bit c % 64 of word c / 64
// set exactly for the keys (8 KiB a map): most text never reaches the hash.
// Code points from U+10000 up always go to the map. `ConfusableMap::prototype`
// applies that rule; every reader goes through it.
//
// DIGIT_PROTOTYPES: {len(DIGIT_PROTOTYPES)} non-ASCII digits and their TR39 letter or punctuation
// prototype (all ASCII), in the same representation; its smallest key is
// U+{min(DIGIT_PROTOTYPES):04X}, below which `digit_prototype` answers without hashing.
//
// UPSTREAM_CONFUSABLE_SOURCES: the {len(sources)} source characters of confusables.txt
// as {len(source_ranges)} sorted ranges ({len(source_ranges) * 8 / 1024:.1f} KiB; a sorted array of code points
// would take {len(sources) * 4 / 1024:.1f} KiB and the same binary search).
//
// CONFUSABLE_COVERAGE: {len(rows)} rows sorted by name, one per script (Scripts.txt) of a
// prototype's first character: how many sources have such a prototype and how
// many of them are keys of at least one map ({sum(s for _, s, _ in rows)} and {folded} in all).
// SCRIPT_NAMES: the {len(u.script_names)} script names of the block-based script table, sorted in
// byte order, as the views of tables/scripts.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/perfect_hash.hpp"
#include "util/ranges.hpp"

namespace kelrad::tables {{

inline constexpr std::size_t kConfusablePoolSize = {len(pool.data)};
extern const char kConfusablePool[kConfusablePoolSize + 1];

// The text a reference of an entry names.
constexpr std::string_view confusable_text(std::uint32_t ref) noexcept {{
    return {{kConfusablePool + (ref >> 8), ref & 0xFF}};
}}

struct ConfusableMap {{
    phf::Map<std::uint32_t> entries;
    const std::uint64_t* bmp;  // the BMP pre-filter, CONFUSABLE_BMP_<TARGET>

    // False when c is certainly no key: c is at most U+FFFF and its bit is clear.
    constexpr bool may_hold(char32_t c) const noexcept {{ return c > 0xFFFF || ((bmp[c >> 6] >> (c & 63)) & 1); }}

    // The prototype of c, or an empty view when c is no key (prototypes are
    // never empty). Tests the pre-filter before the map.
    constexpr std::string_view prototype(char32_t c) const noexcept {{
        if (!may_hold(c)) return {{}};
        const std::uint32_t* ref = entries.find(c);
        return ref != nullptr ? confusable_text(*ref) : std::string_view{{}};
    }}

    constexpr std::size_t size() const noexcept {{ return entries.size(); }}
}};

{decls}
inline constexpr std::size_t kDigitPrototypeCount = {len(DIGIT_PROTOTYPES)};
inline constexpr char32_t kFirstDigitPrototype = 0x{min(DIGIT_PROTOTYPES):04X};
extern const phf::Map<std::uint32_t> DIGIT_PROTOTYPES;

// The TR39 prototype of the digit c, or an empty view when c is no key.
inline std::string_view digit_prototype(char32_t c) noexcept {{
    if (c < kFirstDigitPrototype) return {{}};
    const std::uint32_t* ref = DIGIT_PROTOTYPES.find(c);
    return ref != nullptr ? confusable_text(*ref) : std::string_view{{}};
}}

inline constexpr std::size_t kUpstreamConfusableSourceCount = {len(sources)};
extern const CodepointRange UPSTREAM_CONFUSABLE_SOURCES[{len(source_ranges)}];

struct ConfusableCoverage {{
    std::string_view script;
    std::uint32_t sources;
    std::uint32_t folded;
}};

extern const ConfusableCoverage CONFUSABLE_COVERAGE[{len(rows)}];
extern const std::string_view SCRIPT_NAMES[{len(u.script_names)}];

}}  // namespace kelrad::tables
""")
    hashed = "\n".join(map_arrays(stem[t], maps[t], pool) for t in TARGETS)
    public = "\n".join(f"const std::uint64_t CONFUSABLE_BMP_{upper[t]}[1024] = {{\n{bitmap_body(maps[t])}}};\n\n"
                       f"constinit const ConfusableMap CONFUSABLES_{upper[t]} = "
                       f"{{k{stem[t]}Map, CONFUSABLE_BMP_{upper[t]}}};\n" for t in TARGETS)
    pool_body = "".join(f"    {cpp_string(pool.data[i:i + 64])}\n" for i in range(0, len(pool.data), 64))
    coverage_body = wrap(f'{{"{n}", {s}, {f}}}' for n, s, f in rows)
    write("confusables.cpp", head + f"""#include "tables/confusables.hpp"

#include "tables/scripts.hpp"

namespace kelrad::tables {{

const char kConfusablePool[kConfusablePoolSize + 1] =
{pool_body};

namespace {{

{hashed}
{map_arrays("DigitPrototype", DIGIT_PROTOTYPES, pool)}
}}  // namespace

{public}
constinit const phf::Map<std::uint32_t> DIGIT_PROTOTYPES = kDigitPrototypeMap;

const CodepointRange UPSTREAM_CONFUSABLE_SOURCES[{len(source_ranges)}] = {{
{ranges_body(source_ranges)}}};

const ConfusableCoverage CONFUSABLE_COVERAGE[{len(rows)}] = {{
{coverage_body}}};

const std::string_view SCRIPT_NAMES[{len(u.script_names)}] = {{
{wrap(names.split(", "))}}};

}}  // namespace kelrad::tables
""")


if __name__ == "__main__":
    main()
