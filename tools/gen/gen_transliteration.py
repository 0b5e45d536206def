"""Per-code-point transliteration tables: src/tables/transliteration.*, hanzi_pinyin.*
and brahmic_roles.*.

Sources and the rules applied to them, in order:

1. Base values: any-ascii 0.3.3 `table.tsv` (ISC), one "character TAB value"
   line per code point. Lines are split on "\\n" only, since the file holds
   U+0085, U+2028 and U+2029 as data. Only the 52 BMP blocks of `BLOCKS` are
   kept (by the code point's high byte); Han, Hangul syllables and the
   compatibility jamo have tables of their own, and other blocks have no values.
2. Generic combining marks are dropped (empty value): every enclosing mark
   (Me), the Cyrillic marks U+0483..U+0489, and every nonspacing mark (Mn) of
   the Inherited script (the diacritics that scripts share: U+0300.., U+1AB0..,
   U+1DC0.., U+20D0.., U+FE20.., the variation selectors), except the Arabic
   harakat U+064B..U+0655 and U+0670, which spell short vowels. Marks of one
   script (Indic and Thai vowel signs, Hebrew points, anusvara) keep the sound
   they spell.
3. Viramas (Canonical_Combining_Class 9) are dropped: they only cancel the
   inherent vowel.
4. Brahmic consonants and medials (the roles CONSONANT and SUBJOINED, below)
   end in the inherent vowel "a", which the engine removes before a vowel
   sign, virama or medial: "k" becomes "ka". A letter whose value already ends
   in a vowel spells a syllable of its own (Sundanese REU "reu") and keeps it.
5. CJK compatibility ideographs U+F900..U+FAFF take the toneless pinyin of the
   first character of their canonical decomposition (of themselves when they
   have none), when Unihan has a kMandarin reading for it; otherwise the base.
6. The reviewed adjustments of translit_adjustments.tsv, last.

Han U+4E00..U+9FFF: the first kMandarin reading (Unihan 17.0.0), tone marks
removed through the canonical decompositions of UnicodeData and u-umlaut
written u, gives a syllable number per code point; syllables are numbered by
first appearance in code-point order (1 is "yi", 0 is none).

Toned pinyin: the first kMandarin reading, tone marks kept, for the common
characters within U+4E00..U+9F99: those of the Table of General Standard
Chinese Characters (kTGHZ2013, 7,824 in that range), those whose kHanyuPinlu
readings (the frequency counts of the Hanyu Pinlu Zidian, which add the common
traditional forms) total at least `TONED_MIN_FREQUENCY` (100), and the toned
adjustments: 8,301 characters with Unihan 17.0.0. Rarer characters (U+8C48, a
traditional form with 51 occurrences) keep the toneless syllable even when
tones are asked for.

Supplementary planes: Linear B (U+10000..U+1005D), Gothic (U+10330..U+1034A)
and Old Persian (U+103A0..U+103D5) from their character names and numeric
values in UnicodeData.txt, then the adjustments.

Brahmic roles: the role of each character of the engine's Brahmic script
class in its inherent-vowel rule, from Indic_Syllabic_Category (UCD 17.0.0)
through `ROLE_OF_CATEGORY`, but for the few characters of `ROLE_EXCEPTIONS`.

Every value is checked afterwards: printable ASCII (toned pinyin aside), at most
255 bytes, empty for generic marks and viramas, ending in a vowel for Brahmic
consonants and medials. So are the roles: each is its category's, or its
exception's; a consonant is a letter and a sign or medial a mark.
"""

from __future__ import annotations

import functools
import pathlib
import re
from dataclasses import dataclass

import phf
from emit import Pool, banner, cpp_string, string_body, wrap, write
from ucd import DATA, UCD17, general_categories, merge_valued_ranges, property_ranges, unicode_data

HERE = pathlib.Path(__file__).resolve().parent
ANY_ASCII = DATA / "translit" / "any-ascii-0.3.3" / "table.tsv"
UNIHAN = DATA / "unicode-17.0.0" / "unihan" / "Unihan_Readings-pinyin-extract.txt"
ADJUSTMENTS = HERE / "translit_adjustments.tsv"

# High bytes of the BMP blocks that carry values in the two-stage table.
BLOCKS = [int(b, 16) for b in (
    "00 01 02 03 04 05 06 07 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F "
    "20 21 24 2C 2D 2F 30 A4 A5 A6 A7 A9 AA AB F9 FA FB FC FD FE FF").split()]

HAN_FIRST, HAN_LAST = 0x4E00, 0x9FFF
TONED_LAST = 0x9F99
TONED_MIN_FREQUENCY = 100
HANGUL_FIRST, HANGUL_LAST = 0xAC00, 0xD7A3
COMPAT_JAMO_FIRST, COMPAT_JAMO_LAST = 0x3131, 0x3163
COMPAT_IDEOGRAPH_FIRST, COMPAT_IDEOGRAPH_LAST = 0xF900, 0xFAFF
ARABIC_VOWEL_MARKS = set(range(0x064B, 0x0656)) | {0x0670}
CYRILLIC_MARKS = set(range(0x0483, 0x048A))

# Revised Romanization pieces of the Hangul jamo, in jamo order.
INITIALS = "g kk n d tt r m b pp s ss - j jj ch k t p h".split()
MEDIALS = "a ae ya yae eo e yeo ye o wa wae oe yo u wo we wi yu eu ui i".split()
FINALS = "- g kk gs n nj nh d l lg lm lb ls lt lp lh m b bs s ss ng j ch k t p h".split()
COMPAT_JAMO = ("g kk gs n nj nh d tt r lg lm lb ls lt lp lh m b pp bs s ss - j jj ch k t p h "
               "a ae ya yae eo e yeo ye o wa wae oe yo u wo we wi yu eu ui i").split()

# Gothic letters by name, in the usual transliteration.
GOTHIC = {
    "AHSA": "a", "BAIRKAN": "b", "GIBA": "g", "DAGS": "d", "AIHVUS": "e", "QAIRTHRA": "q", "IUJA": "z",
    "HAGL": "h", "THIUTH": "th", "EIS": "i", "KUSMA": "k", "LAGUS": "l", "MANNA": "m", "NAUTHS": "n",
    "JER": "j", "URUS": "u", "PAIRTHRA": "p", "RAIDA": "r", "SAUIL": "s", "TEIWS": "t", "WINJA": "w",
    "FAIHU": "f", "IGGWS": "x", "HWAIR": "hw", "OTHAL": "o",
}
SUPPLEMENTARY_RANGES = [(0x10000, 0x1005D), (0x10330, 0x1034A), (0x103A0, 0x103D5)]

# Roles of the Brahmic characters in the engine's inherent-vowel rule, numbered
# as BrahmicClass (src/translit/classes.hpp) numbers them.
OTHER, CONSONANT, VOWEL_SIGN, VIRAMA, SUBJOINED = 0, 1, 2, 3, 4
# The code points of the engine's Brahmic script class (script_class in
# src/translit/classes.cpp): those that the table of roles covers.
BRAHMIC_SCRIPT = [(0x0900, 0x0DFF), (0x0F00, 0x109F), (0x1700, 0x17FF), (0x1A00, 0x1AAF), (0x1B00, 0x1BFF),
                  (0xA980, 0xA9DF), (0xAA00, 0xAA5F), (0xAAE0, 0xAAFF), (0xABC0, 0xABFF)]
# The role of each Indic_Syllabic_Category. A sign that kills the vowel is a
# virama whatever its shape, and a medial or subjoined consonant joins the
# consonant before it into one cluster that carries its inherent vowel. Every
# other category is Other: independent vowels, final and dead consonants,
# bindus, visargas, nuktas, tone marks, numbers.
ROLE_OF_CATEGORY = {
    "Consonant": CONSONANT,
    "Vowel_Dependent": VOWEL_SIGN,
    "Virama": VIRAMA, "Pure_Killer": VIRAMA, "Invisible_Stacker": VIRAMA, "Reordering_Killer": VIRAMA,
    "Consonant_Medial": SUBJOINED, "Consonant_Subjoined": SUBJOINED,
}
# The characters whose role is not the one their category gives, by name.
ROLE_EXCEPTIONS = {
    # Vowel carriers: independent vowels whose sound is the inherent vowel
    # itself, which the vowel sign after them replaces ("\uabd1\uabe3" is "o").
    "MYANMAR LETTER A": CONSONANT,
    "CHAM LETTER A": CONSONANT,
    "MEETEI MAYEK LETTER ATIYA": CONSONANT,
    # A dependent vowel whose "k" follows the consonant's vowel ("kak").
    "KHMER SIGN YUUKALEAPINTU": OTHER,
    # A length mark over the vowel, which ASCII does not write: the vowel stays.
    "ORIYA SIGN OVERLINE": OTHER,
    # A medial that spells a vowel of its own ("re"), so replaces the inherent one.
    "JAVANESE CONSONANT SIGN KERET": VOWEL_SIGN,
}
# Roles that the derivation must keep: a nukta consonant, a Sinhala vowel sign,
# a Meetei Mayek independent vowel, and Thai, which has no inherent vowel rule.
FIXED_ROLES = {0x0958: CONSONANT, 0x0DF2: VOWEL_SIGN, 0xAAE0: OTHER, 0x0E01: OTHER}


def ends_in_its_vowel(role: int, value: str) -> bool:
    """A consonant's value ends in its vowel: the inherent "a", or the vowel of
    a letter that spells a syllable of its own (Javanese PA CEREK "re"). A
    medial's ends in the "a" of the cluster it joins."""
    return value.endswith("a") if role == SUBJOINED else value[-1:] in ("a", "e", "i", "o", "u")


def brahmic_roles(u: Ucd) -> dict[int, int]:
    """The role of every assigned character of the engine's Brahmic script class."""
    by_name = {u.name[cp]: cp for a, b in BRAHMIC_SCRIPT for cp in range(a, b + 1) if cp in u.name}
    roles = {cp: ROLE_OF_CATEGORY.get(u.isc.get(cp, ""), OTHER) for cp in by_name.values()}
    for name, role in ROLE_EXCEPTIONS.items():
        if name not in by_name:
            raise ValueError(f"role exception {name!r} names no Brahmic character")
        roles[by_name[name]] = role
    return roles


# ---------------------------------------------------------------------------
# Sources


def any_ascii() -> dict[int, str]:
    with open(ANY_ASCII, "rb") as f:
        text = f.read().decode("utf-8")
    table: dict[int, str] = {}
    for line in text.split("\n"):
        if not line:
            continue
        key, tab, value = line.partition("\t")
        if len(key) != 1 or not tab:
            raise ValueError(f"malformed any-ascii line {line!r}")
        table[ord(key)] = value
    return table


@dataclass
class Ucd:
    gc: dict[int, str]
    script: dict[int, str]
    ccc: dict[int, int]
    name: dict[int, str]
    numeric: dict[int, str]
    decomposition: dict[int, list[int]]  # canonical mappings only
    isc: dict[int, str]  # Indic_Syllabic_Category, where not Other


def ucd() -> Ucd:
    script: dict[int, str] = {}
    for value, ranges in property_ranges(UCD17 / "Scripts.txt").items():
        for a, b in ranges:
            for cp in range(a, b + 1):
                script[cp] = value
    ccc, name, numeric, decomposition = {}, {}, {}, {}
    for fields in unicode_data():
        cp = int(fields[0], 16)
        name[cp] = fields[1]
        if fields[3] != "0":
            ccc[cp] = int(fields[3])
        if fields[8]:
            numeric[cp] = fields[8]
        if fields[5] and not fields[5].startswith("<"):
            decomposition[cp] = [int(x, 16) for x in fields[5].split()]
    isc = {cp: value for value, ranges in property_ranges(UCD17 / "IndicSyllabicCategory.txt").items()
           for a, b in ranges for cp in range(a, b + 1)}
    return Ucd(general_categories(), script, ccc, name, numeric, decomposition, isc)


def unihan() -> tuple[dict[int, str], dict[int, str], set[int]]:
    """The first kMandarin reading and the kHanyuPinlu field per code point, and
    the code points with a kTGHZ2013 reading."""
    mandarin: dict[int, str] = {}
    pinlu: dict[int, str] = {}
    general_standard: set[int] = set()
    with open(UNIHAN, encoding="utf-8", newline="\n") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            cp, field, value = line.rstrip("\n").split("\t")
            code = int(cp[2:], 16)
            if field == "kMandarin":
                mandarin[code] = value.split()[0]
            elif field == "kHanyuPinlu":
                pinlu[code] = value
            elif field == "kTGHZ2013":
                general_standard.add(code)
    return mandarin, pinlu, general_standard


def pinlu_frequency(value: str) -> int:
    """Total of the counts of a kHanyuPinlu value: "gè(11693) ge(1891)" gives 13584."""
    return sum(int(n) for n in re.findall(r"\((\d+)\)", value))


@dataclass
class Adjustment:
    first: int
    last: int
    action: str  # "value", "none", "lowercase", "toned"
    text: str | None


ADJUSTMENT_LINE = re.compile(
    r'^U\+([0-9A-F]{4,6})(?:\.\.U\+([0-9A-F]{4,6}))?\t(none|lowercase|(?:toned )?"((?:[^"\\]|\\.)*)")\t# \S')


def adjustments() -> list[Adjustment]:
    out: list[Adjustment] = []
    with open(ADJUSTMENTS, encoding="utf-8", newline="\n") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            m = ADJUSTMENT_LINE.match(line)
            if not m:
                raise ValueError(f"{ADJUSTMENTS.name}:{n}: malformed line {line!r}")
            first = int(m[1], 16)
            last = int(m[2], 16) if m[2] else first
            change = m[3]
            if change in ("none", "lowercase"):
                out.append(Adjustment(first, last, change, None))
            else:
                text = re.sub(r"\\(.)", r"\1", m[4])
                out.append(Adjustment(first, last, "toned" if change.startswith("toned") else "value", text))
    return out


# ---------------------------------------------------------------------------
# The tables


@dataclass
class Tables:
    bmp: dict[int, str]  # the two-stage table's values (code points of BLOCKS only)
    supplementary: dict[int, str]
    hangul: list[str]  # U+AC00.. in order
    compat_jamo: list[str]  # U+3131.. in order
    syllable_of: dict[int, int]  # U+4E00..U+9FFF code point -> syllable number (non-zero only)
    syllables: list[str]  # syllables[0] == ""
    toned: dict[int, str]
    compat_ideograph_han: dict[int, int]  # U+F900.. -> first char of the decomposition, when Han
    generic_marks: set[int]
    viramas: set[int]
    roles: dict[int, int]  # the Brahmic role of every assigned character of the Brahmic script class


def toneless(reading: str, u: Ucd) -> str:
    """The reading without its marks: canonical decomposition, nonspacing marks dropped."""

    def decompose(cp: int) -> list[int]:
        if cp in u.decomposition:
            return [x for part in u.decomposition[cp] for x in decompose(part)]
        return [cp]

    out = "".join(chr(x) for ch in reading for x in decompose(ord(ch)) if u.gc.get(x) != "Mn")
    if not re.fullmatch(r"[a-z]+", out):
        raise ValueError(f"reading {reading!r} does not reduce to ASCII letters: {out!r}")
    return out


def supplementary_value(cp: int, u: Ucd) -> str:
    name = u.name[cp]
    if m := re.fullmatch(r"LINEAR B SYLLABLE B\d{3} (\w+)", name):
        return m[1].lower()
    if m := re.fullmatch(r"LINEAR B SYMBOL B(\d{3})", name):
        return "*" + str(int(m[1]))
    if cp in u.numeric:
        return u.numeric[cp]
    if m := re.fullmatch(r"GOTHIC LETTER (\w+)", name):
        return GOTHIC[m[1]]
    if name == "OLD PERSIAN WORD DIVIDER":
        return ""
    if m := re.fullmatch(r"OLD PERSIAN SIGN ([A-Z]{1,3})", name):
        return m[1].lower()  # a syllable or vowel sign: KA, THA, SSA
    if m := re.fullmatch(r"OLD PERSIAN SIGN ([A-Z]+)(?:-2)?", name):
        # A logogram: AURAMAZDAA, XSHAAYATHIYA; long vowels written once.
        return m[1].replace("AA", "A").replace("UU", "U").capitalize()
    raise ValueError(f"no rule for U+{cp:04X} {name}")


@functools.cache
def build() -> Tables:
    u = ucd()
    base = any_ascii()
    mandarin, pinlu, general_standard = unihan()
    adjust = adjustments()

    # Han syllables.
    syllables = [""]
    number: dict[str, int] = {}
    syllable_of: dict[int, int] = {}
    for cp in range(HAN_FIRST, HAN_LAST + 1):
        if cp in mandarin:
            s = toneless(mandarin[cp], u)
            if s not in number:
                number[s] = len(syllables)
                syllables.append(s)
            syllable_of[cp] = number[s]

    # Toned map.
    common = general_standard | {cp for cp, value in pinlu.items() if pinlu_frequency(value) >= TONED_MIN_FREQUENCY}
    toned = {cp: mandarin[cp] for cp in common if HAN_FIRST <= cp <= TONED_LAST and cp in mandarin}

    marks = {cp for cp, cat in u.gc.items() if cat in ("Mn", "Mc", "Me")}
    generic_marks = {cp for cp in marks if (cp >> 8) in BLOCKS and cp < 0x10000 and (
        u.gc[cp] == "Me" or cp in CYRILLIC_MARKS
        or (u.gc[cp] == "Mn" and u.script.get(cp) == "Inherited" and cp not in ARABIC_VOWEL_MARKS))}
    viramas = {cp for cp, c in u.ccc.items() if c == 9 and cp < 0x10000 and (cp >> 8) in BLOCKS}
    roles = brahmic_roles(u)

    # 1. Base values of the kept blocks.
    bmp = {cp: v for cp, v in base.items() if 0x80 <= cp < 0x10000 and (cp >> 8) in BLOCKS}
    # 2, 3. Generic marks and viramas.
    for cp in (generic_marks | viramas) & bmp.keys():
        bmp[cp] = ""
    # 4. Inherent vowel of the consonants and medials.
    for cp, role in roles.items():
        if role in (CONSONANT, SUBJOINED) and cp in bmp and not ends_in_its_vowel(role, bmp[cp]):
            bmp[cp] += "a"
    # 5. Compatibility ideographs through their decomposition.
    compat_ideograph_han: dict[int, int] = {}
    for cp in range(COMPAT_IDEOGRAPH_FIRST, COMPAT_IDEOGRAPH_LAST + 1):
        if u.gc.get(cp, "Cn") == "Cn":
            continue
        d = u.decomposition.get(cp, [cp])[0]
        if HAN_FIRST <= d <= HAN_LAST:
            compat_ideograph_han[cp] = d
        if d in mandarin:
            bmp[cp] = toneless(mandarin[d], u)

    # Supplementary planes.
    supplementary = {cp: supplementary_value(cp, u) for a, b in SUPPLEMENTARY_RANGES
                     for cp in range(a, b + 1) if u.gc.get(cp, "Cn") != "Cn"}

    # 6. The reviewed adjustments.
    for adj in adjust:
        for cp in range(adj.first, adj.last + 1):
            if adj.action == "toned":
                if not (HAN_FIRST <= cp <= TONED_LAST) or cp not in syllable_of:
                    raise ValueError(f"toned adjustment U+{cp:04X} outside the Han syllables")
                toned[cp] = adj.text
                continue
            table = supplementary if cp >= 0x10000 else bmp
            if cp < 0x10000 and (cp >> 8) not in BLOCKS:
                raise ValueError(f"adjustment U+{cp:04X} outside the table's blocks")
            if adj.action == "none":
                if cp not in table:
                    raise ValueError(f"adjustment U+{cp:04X}: no value to remove")
                del table[cp]
            elif adj.action == "lowercase":
                if cp in table:
                    table[cp] = table[cp].lower()
            else:
                table[cp] = adj.text

    hangul = [INITIALS[s // 588] + MEDIALS[s % 588 // 28] + FINALS[s % 28]
              for s in range(HANGUL_LAST - HANGUL_FIRST + 1)]
    hangul = [h.replace("-", "") for h in hangul]
    compat_jamo = [j.replace("-", "") for j in COMPAT_JAMO]

    tables = Tables(bmp, supplementary, hangul, compat_jamo, syllable_of, syllables, toned,
                    compat_ideograph_han, generic_marks, viramas, roles)
    check(tables, u)
    return tables


def check(t: Tables, u: Ucd) -> None:
    """The properties that the engine relies on; a violation stops generation."""
    for cp, v in list(t.bmp.items()) + list(t.supplementary.items()):
        if not re.fullmatch(r"[\x20-\x7E]{0,255}", v):
            raise ValueError(f"U+{cp:04X}: value {v!r} is not printable ASCII of at most 255 bytes")
    for cp in (t.generic_marks | t.viramas) & t.bmp.keys():
        if t.bmp[cp]:
            raise ValueError(f"U+{cp:04X}: a generic mark or virama with value {t.bmp[cp]!r}")
    for cp, role in t.roles.items():
        name = u.name[cp]
        category = u.isc.get(cp, "Other")
        if role != ROLE_EXCEPTIONS.get(name, ROLE_OF_CATEGORY.get(category, OTHER)):
            raise ValueError(f"U+{cp:04X} {name} ({category}) has Brahmic role {role}")
        if role == CONSONANT and u.gc[cp][0] != "L":
            raise ValueError(f"U+{cp:04X} {name} is no letter, yet a Brahmic consonant")
        if role in (VOWEL_SIGN, VIRAMA, SUBJOINED) and u.gc[cp][0] != "M":
            raise ValueError(f"U+{cp:04X} {name} is no mark, yet a Brahmic sign")
        if role in (CONSONANT, SUBJOINED) and cp in t.bmp and not ends_in_its_vowel(role, t.bmp[cp]):
            raise ValueError(f"U+{cp:04X} {name}: Brahmic consonant value {t.bmp[cp]!r} lacks its vowel")
    for cp, role in FIXED_ROLES.items():
        if t.roles.get(cp, OTHER) != role:
            raise ValueError(f"U+{cp:04X} {u.name[cp]} has Brahmic role {t.roles.get(cp, OTHER)}, not {role}")
    for cp, v in t.toned.items():
        if toneless(v, u) != t.syllables[t.syllable_of[cp]]:
            raise ValueError(f"U+{cp:04X}: toned {v!r} is not syllable {t.syllables[t.syllable_of[cp]]!r}")


# ---------------------------------------------------------------------------
# Emission

GENERATOR = "gen_transliteration.py"
INPUTS = ["any-ascii 0.3.3 table.tsv",
          "UCD 17.0.0 UnicodeData.txt, Scripts.txt, DerivedGeneralCategory.txt, IndicSyllabicCategory.txt",
          "Unihan 17.0.0 kMandarin, kHanyuPinlu, kTGHZ2013", "translit_adjustments.tsv"]


def hex_body(values: list[int], digits: int) -> str:
    return wrap(f"0x{v:0{digits}X}" for v in values)


def phf_arrays(name: str, values: dict[int, int]) -> tuple[str, int, int]:
    """Displacement and entry arrays of a map from code point to a text reference."""
    lay = phf.layout(list(values))
    for cp in values:
        assert phf.lookup(lay, cp) is not None
    disp = wrap(f"{{{d1}, {d2}}}" for d1, d2 in lay.displacements)
    entries = wrap(f"{{0x{cp:04X}, 0x{values[cp]:08X}}}" for cp in lay.slots)
    body = (f"const phf::Displacement k{name}Displacements[{len(lay.displacements)}] = {{\n{disp}}};\n\n"
            f"const phf::Entry<std::uint32_t> k{name}Entries[{len(lay.slots)}] = {{\n{entries}}};\n\n"
            f"constinit const phf::Map<std::uint32_t> k{name}Map = {{0x{lay.key:X}, k{name}Displacements, k{name}Entries}};\n")
    return body, len(lay.displacements), len(lay.slots)


def emit_transliteration(t: Tables) -> None:
    pool = Pool(list(t.bmp.values()))
    used = sorted({cp >> 8 for cp in t.bmp})
    if used != BLOCKS:
        raise ValueError("every kept block must carry values")
    base = [0] * 256
    entries = [0xFFFFFFFF] * 256
    for n, hi in enumerate(used, 1):
        base[hi] = n * 256
        entries += [pool.ref[t.bmp[hi << 8 | lo]] if (hi << 8 | lo) in t.bmp else 0xFFFFFFFF for lo in range(256)]
    n_blocks = len(used) + 1
    n_values = len(t.bmp)
    n_empty = sum(1 for v in t.bmp.values() if not v)

    hangul_data = "".join(t.hangul).encode()
    hangul_offsets = [0]
    for h in t.hangul:
        hangul_offsets.append(hangul_offsets[-1] + len(h))
    jamo_data = "".join(t.compat_jamo).encode()
    jamo_offsets = [0]
    for j in t.compat_jamo:
        jamo_offsets.append(jamo_offsets[-1] + len(j))

    compat = [t.compat_ideograph_han.get(cp, 0) for cp in range(COMPAT_IDEOGRAPH_FIRST, COMPAT_IDEOGRAPH_LAST + 1)]

    sup_pool = Pool(list(t.supplementary.values()))
    sup_body, sup_disp, sup_n = phf_arrays("Supplementary", {cp: sup_pool.ref[v] for cp, v in t.supplementary.items()})

    head = banner(GENERATOR, INPUTS)
    write("transliteration.hpp", head + f"""// Default transliteration of single code points to ASCII (read by
// tables::lookup_ascii, which documents the lookup order).
//
// BMP two-stage table. Stage 1, kTranslitBlockBase, holds for each high byte
// of a code point the index of its 256-entry block in stage 2,
// kTranslitEntries. {n_blocks} blocks ({n_blocks * 256:,} entries, {n_blocks * 1024:,} bytes): block 0 is
// all "no value" and serves the {256 - len(used)} high bytes without data; the other
// {len(used)} hold {n_values:,} values, {n_empty} of them empty (the character is dropped). An
// entry is kTranslitNoValue or a text reference: byte offset into
// kTranslitPool shifted left by 8, plus the length (0..255). The pool is
// {len(pool.data):,} bytes because equal values, and values that occur inside longer
// ones, share their bytes. Two reads per lookup; a sorted array of (code point,
// reference) pairs would take more room ({n_values * 8:,} bytes) and a binary search.
//
// Hangul syllables U+AC00..U+D7A3: the Revised Romanization of initial,
// medial and final jamo, precomputed: value i is kHangulPool from
// kHangulOffsets[i] to kHangulOffsets[i + 1] ({len(hangul_data):,} bytes, {len(hangul_offsets):,} offsets),
// so that a lookup returns a view instead of building a string.
//
// Compatibility jamo U+3131..U+3163: {len(t.compat_jamo)} values in kCompatJamoPool, delimited
// by kCompatJamoOffsets as above.
//
// CJK compatibility ideographs U+F900..U+FAFF: kCompatIdeographHan holds the
// first character of the canonical decomposition when it is a Han character
// of U+4E00..U+9FFF, else 0 ({len(t.compat_ideograph_han)} of 512 are set), for the toned lookup.
//
// Supplementary planes: Linear B, Gothic and Old Persian, {len(t.supplementary)} code points in
// the perfect-hash map kSupplementaryMap ({sup_disp} displacements), whose values are text
// references into kSupplementaryPool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/perfect_hash.hpp"

namespace kelrad::tables {{

inline constexpr std::uint32_t kTranslitNoValue = 0xFFFFFFFF;
inline constexpr std::size_t kTranslitBlockCount = {n_blocks};
inline constexpr std::size_t kTranslitValueCount = {n_values};
inline constexpr std::size_t kTranslitEmptyValueCount = {n_empty};
inline constexpr std::size_t kTranslitPoolSize = {len(pool.data)};

extern const std::uint32_t kTranslitBlockBase[256];
extern const std::uint32_t kTranslitEntries[kTranslitBlockCount * 256];
extern const char kTranslitPool[kTranslitPoolSize + 1];

inline constexpr char32_t kHangulFirst = 0x{HANGUL_FIRST:04X};
inline constexpr char32_t kHangulLast = 0x{HANGUL_LAST:04X};
extern const std::uint16_t kHangulOffsets[{len(hangul_offsets)}];
extern const char kHangulPool[{len(hangul_data) + 1}];

inline constexpr char32_t kCompatJamoFirst = 0x{COMPAT_JAMO_FIRST:04X};
inline constexpr char32_t kCompatJamoLast = 0x{COMPAT_JAMO_LAST:04X};
extern const std::uint8_t kCompatJamoOffsets[{len(jamo_offsets)}];
extern const char kCompatJamoPool[{len(jamo_data) + 1}];

inline constexpr char32_t kCompatIdeographFirst = 0x{COMPAT_IDEOGRAPH_FIRST:04X};
inline constexpr char32_t kCompatIdeographLast = 0x{COMPAT_IDEOGRAPH_LAST:04X};
extern const std::uint16_t kCompatIdeographHan[512];

inline constexpr std::size_t kSupplementaryCount = {sup_n};
extern const phf::Map<std::uint32_t> kSupplementaryMap;
extern const char kSupplementaryPool[{len(sup_pool.data) + 1}];

}}  // namespace kelrad::tables
""")

    stage2_lines = []
    for b in range(n_blocks):
        label = "no values" if b == 0 else f"U+{used[b - 1] << 8:04X}..U+{used[b - 1] << 8 | 0xFF:04X}"
        stage2_lines.append(f"    // {b}: {label}\n" + hex_body(entries[b * 256:(b + 1) * 256], 8))
    write("transliteration.cpp", head + f"""#include "tables/transliteration.hpp"

namespace kelrad::tables {{

const std::uint32_t kTranslitBlockBase[256] = {{
{hex_body(base, 4)}}};

const std::uint32_t kTranslitEntries[kTranslitBlockCount * 256] = {{
{"".join(stage2_lines)}}};

const char kTranslitPool[kTranslitPoolSize + 1] =
{string_body(pool.data)};

const std::uint16_t kHangulOffsets[{len(hangul_offsets)}] = {{
{wrap(str(o) for o in hangul_offsets)}}};

const char kHangulPool[{len(hangul_data) + 1}] =
{string_body(hangul_data, 96)};

const std::uint8_t kCompatJamoOffsets[{len(jamo_offsets)}] = {{
{wrap(str(o) for o in jamo_offsets)}}};

const char kCompatJamoPool[{len(jamo_data) + 1}] =
{string_body(jamo_data)};

const std::uint16_t kCompatIdeographHan[512] = {{
{hex_body(compat, 4)}}};

{sup_body}
const char kSupplementaryPool[{len(sup_pool.data) + 1}] =
{string_body(sup_pool.data)};

}}  // namespace kelrad::tables
""")


def emit_hanzi_pinyin(t: Tables) -> None:
    numbers = [t.syllable_of.get(cp, 0) for cp in range(HAN_FIRST, HAN_LAST + 1)]
    syl_data = "".join(t.syllables).encode()
    syl_offsets = [0]
    for s in t.syllables:
        syl_offsets.append(syl_offsets[-1] + len(s))
    toned_pool = Pool(list(t.toned.values()))
    toned_body, toned_disp, toned_n = phf_arrays("TonedPinyin", {cp: toned_pool.ref[v] for cp, v in t.toned.items()})
    head = banner(GENERATOR, INPUTS)
    write("hanzi_pinyin.hpp", head + f"""// Hanyu Pinyin of the CJK Unified Ideographs U+4E00..U+9FFF.
//
// Toneless: kHanziSyllable gives each of the {len(numbers):,} code points a syllable
// number, 0 meaning none ({len(t.syllable_of):,} have one). Syllable i is kPinyinPool from
// kPinyinOffsets[i] to kPinyinOffsets[i + 1]; there are {len(t.syllables)} syllables with the
// empty entry 0, numbered by first appearance in code-point order (1 is "yi",
// the syllable of U+4E00). The reading is the first kMandarin one with its
// tone mark removed and u-umlaut written u. Two bytes per code point
// ({len(numbers) * 2:,} bytes) keep the lookup at two reads; the strings themselves
// take {len(syl_data):,} bytes.
//
// Toned: kTonedPinyinMap, a perfect-hash map of {toned_n:,} common characters (the
// Table of General Standard Chinese Characters, the characters whose Hanyu
// Pinlu frequency counts add up to at least {TONED_MIN_FREQUENCY}, a few chosen readings) to the
// first kMandarin reading with its tone mark, as UTF-8 text references into
// kTonedPinyinPool ({len(toned_pool.data):,} bytes). A neutral-tone syllable has no mark.
// One probe per lookup; a syllable number per code point would take {len(numbers) * 2:,}
// bytes more and still need a second table of toned syllables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/perfect_hash.hpp"

namespace kelrad::tables {{

inline constexpr char32_t kHanziFirst = 0x{HAN_FIRST:04X};
inline constexpr char32_t kHanziLast = 0x{HAN_LAST:04X};
inline constexpr std::size_t kHanziWithSyllableCount = {len(t.syllable_of)};
inline constexpr std::size_t kPinyinSyllableCount = {len(t.syllables)};

extern const std::uint16_t kHanziSyllable[{len(numbers)}];
extern const std::uint16_t kPinyinOffsets[{len(syl_offsets)}];
extern const char kPinyinPool[{len(syl_data) + 1}];

inline constexpr std::size_t kTonedPinyinCount = {toned_n};
extern const phf::Map<std::uint32_t> kTonedPinyinMap;
extern const char kTonedPinyinPool[{len(toned_pool.data) + 1}];

}}  // namespace kelrad::tables
""")
    write("hanzi_pinyin.cpp", head + f"""#include "tables/hanzi_pinyin.hpp"

namespace kelrad::tables {{

const std::uint16_t kHanziSyllable[{len(numbers)}] = {{
{wrap(str(n) for n in numbers)}}};

const std::uint16_t kPinyinOffsets[{len(syl_offsets)}] = {{
{wrap(str(o) for o in syl_offsets)}}};

const char kPinyinPool[{len(syl_data) + 1}] =
{string_body(syl_data, 96)};

{toned_body}
const char kTonedPinyinPool[{len(toned_pool.data) + 1}] =
{string_body(toned_pool.data)};

}}  // namespace kelrad::tables
""")


# The Brahmic blocks U+0900..U+10FF, Devanagari to Myanmar with Thai and Lao
# between, lie in one run of the roles table that a lookup reads directly.
ROLE_RUN_FIRST, ROLE_RUN_LAST = 0x0900, 0x10FF


def emit_brahmic_roles(t: Tables) -> None:
    covered = [cp for a, b in BRAHMIC_SCRIPT for cp in range(a, b + 1)]
    run = list(range(ROLE_RUN_FIRST >> 8, (ROLE_RUN_LAST >> 8) + 1))
    blocks = run + sorted({cp >> 8 for cp in covered} - set(run))
    block_of = [0] * 256
    roles = [OTHER] * 256
    for n, hi in enumerate(blocks, 1):
        block_of[hi] = n
        roles += [t.roles.get(hi << 8 | lo, OTHER) for lo in range(256)]
    counts = [sum(1 for cp in covered if t.roles.get(cp, OTHER) == role) for role in range(SUBJOINED + 1)]
    n_ranges = len(merge_valued_ranges({cp: r for cp, r in t.roles.items() if r != OTHER}))
    lines = []
    for b in range(len(blocks) + 1):
        label = "all Other" if b == 0 else f"U+{blocks[b - 1] << 8:04X}..U+{blocks[b - 1] << 8 | 0xFF:04X}"
        lines.append(f"    // {b}: {label}\n" + wrap(str(r) for r in roles[b * 256:(b + 1) * 256]))
    head = banner(GENERATOR, INPUTS)
    write("brahmic_roles.hpp", head + f"""// The role of each character of the transliteration engine's Brahmic script
// class in its inherent-vowel rule (read by transliterate::brahmic_class), from
// Indic_Syllabic_Category: consonants; dependent vowel signs; viramas and the
// other vowel killers; medial and subjoined consonants, which join the
// consonant before them into one cluster; and Other (independent vowels, final
// and dead consonants, bindus, visargas, nuktas, tone marks, numbers). Vowel
// carriers, which act as consonants, and a few signs take another role than
// their category's (ROLE_EXCEPTIONS in gen_transliteration.py).
//
// Two-stage table, one byte per code point. Stage 1, kBrahmicRoleBlock,
// gives the block of each high byte of a BMP code point, block 0 being all
// Other; stage 2, kBrahmicRoles, holds {len(blocks) + 1} blocks of 256 ({(len(blocks) + 1) * 256:,} bytes). The
// blocks U+{ROLE_RUN_FIRST:04X}..U+{ROLE_RUN_LAST:04X}, the Indic scripts to Myanmar, follow block 0 in order,
// so that the most common Brahmic text costs one read; Thai and Lao between
// them take 256 bytes of Other for it. A sorted range table would take
// fewer bytes ({n_ranges} ranges) but a binary search per character.
//
// Of the {len(covered):,} code points of the class ({len(t.roles):,} assigned): {counts[CONSONANT]} consonants,
// {counts[VOWEL_SIGN]} vowel signs, {counts[VIRAMA]} viramas, {counts[SUBJOINED]} medials, {counts[OTHER]:,} Other.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelrad::tables {{

// The roles, as BrahmicClass numbers them.
inline constexpr std::uint8_t kBrahmicOther = {OTHER};
inline constexpr std::uint8_t kBrahmicConsonant = {CONSONANT};
inline constexpr std::uint8_t kBrahmicVowelSign = {VOWEL_SIGN};
inline constexpr std::uint8_t kBrahmicVirama = {VIRAMA};
inline constexpr std::uint8_t kBrahmicMedial = {SUBJOINED};

// Code points of the class in each role, indexed by the role.
inline constexpr std::size_t kBrahmicRoleCounts[{len(counts)}] = {{{", ".join(map(str, counts))}}};

inline constexpr char32_t kBrahmicRunFirst = 0x{ROLE_RUN_FIRST:04X};
inline constexpr char32_t kBrahmicRunLast = 0x{ROLE_RUN_LAST:04X};
inline constexpr std::size_t kBrahmicRunOffset = 256;  // of U+{ROLE_RUN_FIRST:04X} in kBrahmicRoles
inline constexpr std::size_t kBrahmicRoleBlockCount = {len(blocks) + 1};

extern const std::uint8_t kBrahmicRoleBlock[256];
extern const std::uint8_t kBrahmicRoles[kBrahmicRoleBlockCount * 256];

}}  // namespace kelrad::tables
""")
    write("brahmic_roles.cpp", head + f"""#include "tables/brahmic_roles.hpp"

namespace kelrad::tables {{

const std::uint8_t kBrahmicRoleBlock[256] = {{
{wrap(str(b) for b in block_of)}}};

const std::uint8_t kBrahmicRoles[kBrahmicRoleBlockCount * 256] = {{
{"".join(lines)}}};

}}  // namespace kelrad::tables
""")


def main() -> None:
    t = build()
    emit_transliteration(t)
    emit_hanzi_pinyin(t)
    emit_brahmic_roles(t)


if __name__ == "__main__":
    main()
