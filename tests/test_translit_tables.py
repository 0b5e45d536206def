"""Properties of the generated transliteration data, checked on the generator's own output.

The lookups themselves are tested natively (tests/native/test_translit_*.cpp);
these sweeps need the Unicode properties that only the generator reads.
"""

import dataclasses
import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tools" / "gen"))

import gen_transliteration as gen  # noqa: E402


@pytest.fixture(scope="module")
def tables():
    return gen.build()


@pytest.fixture(scope="module")
def props():
    return gen.ucd()


def test_generic_marks_and_viramas_are_dropped(tables, props):
    kept_blocks = set(gen.BLOCKS)
    dropped = {cp for cp in tables.bmp if tables.bmp[cp] == ""}
    in_table = lambda cp: cp < 0x10000 and cp >> 8 in kept_blocks  # noqa: E731
    viramas = {cp for cp, c in props.ccc.items() if c == 9 and in_table(cp)}
    enclosing = {cp for cp, cat in props.gc.items() if cat == "Me" and in_table(cp)}
    inherited = {cp for cp, cat in props.gc.items()
                 if cat == "Mn" and props.script.get(cp) == "Inherited" and in_table(cp)} - gen.ARABIC_VOWEL_MARKS
    for group in (viramas, enclosing, inherited, gen.CYRILLIC_MARKS):
        assert {hex(cp): tables.bmp[cp] for cp in group & tables.bmp.keys() - dropped} == {}
    assert len(viramas) > 30 and len(inherited) > 300


def test_pinyin_syllables(tables, props):
    assert tables.syllables[0] == "" and all(s.isascii() and s.isalpha() for s in tables.syllables[1:])
    # Numbered by first appearance in code-point order.
    firsts = {}
    for cp in sorted(tables.syllable_of):
        firsts.setdefault(tables.syllable_of[cp], cp)
    assert sorted(firsts, key=firsts.get) == list(range(1, 412))


def test_toned_values_lose_their_tones_to_the_syllable(tables, props):
    assert {hex(cp): v for cp, v in tables.toned.items()
            if gen.toneless(v, props) != tables.syllables[tables.syllable_of[cp]]} == {}


def test_compatibility_ideographs_follow_their_decomposition(tables, props):
    for cp, d in tables.compat_ideograph_han.items():
        assert props.decomposition[cp][0] == d
        if d in tables.syllable_of:
            assert tables.bmp[cp] == tables.syllables[tables.syllable_of[d]], hex(cp)


def test_adjustments_file_is_well_formed():
    adjustments = gen.adjustments()
    covered = [cp for a in adjustments for cp in range(a.first, a.last + 1)]
    assert len(covered) == len(set(covered)), "a code point is adjusted twice"
    assert {a.action for a in adjustments} == {"value", "none", "lowercase", "toned"}


@pytest.mark.parametrize(
    "roles, values, exceptions, named",
    [
        pytest.param({0x103C: gen.VOWEL_SIGN}, {}, None, "U+103C MYANMAR CONSONANT SIGN MEDIAL RA",
                     id="medial-as-vowel-sign"),
        pytest.param({0xABDB: gen.CONSONANT}, {}, None, "U+ABDB MEETEI MAYEK LETTER KOK LONSUM",
                     id="final-as-consonant"),
        pytest.param({0x1BAA: gen.OTHER}, {}, None, "U+1BAA SUNDANESE SIGN PAMAAEH", id="killer-unclassed"),
        pytest.param({}, {}, {"CHAM LETTER A"}, "U+AA00 CHAM LETTER A", id="carrier-without-its-exception"),
        pytest.param({}, {0x0915: "k"}, None, "U+0915 DEVANAGARI LETTER KA", id="consonant-without-vowel"),
        pytest.param({}, {0x1A55: "re"}, None, "U+1A55 TAI THAM CONSONANT SIGN MEDIAL RA", id="medial-without-a"),
    ],
)
def test_brahmic_role_faults_stop_generation(tables, props, monkeypatch, roles, values, exceptions, named):
    faulty = dataclasses.replace(tables, roles={**tables.roles, **roles}, bmp={**tables.bmp, **values})
    if exceptions:
        monkeypatch.setattr(gen, "ROLE_EXCEPTIONS", {k: v for k, v in gen.ROLE_EXCEPTIONS.items() if k not in exceptions})
    with pytest.raises(ValueError, match=named.replace("+", r"\+")):
        gen.check(faulty, props)


# Roles derived from faulty rules agree with those rules: only what the engine needs of each role, and the
# roles that must not move, catch them.
@pytest.mark.parametrize(
    "rule, patch, named",
    [
        pytest.param("ROLE_EXCEPTIONS", {"MYANMAR CONSONANT SIGN MEDIAL RA": gen.CONSONANT},
                     "U+103C MYANMAR CONSONANT SIGN MEDIAL RA is no letter", id="mark-as-consonant"),
        pytest.param("ROLE_EXCEPTIONS", {"MYANMAR LETTER KA": gen.VIRAMA}, "U+1000 MYANMAR LETTER KA is no mark",
                     id="letter-as-virama"),
        pytest.param("ROLE_OF_CATEGORY", {"Vowel_Dependent": gen.OTHER},
                     "U+0DF2 SINHALA VOWEL SIGN DIGA GAETTA-PILLA has Brahmic role 0, not 2", id="vowel-signs-unmapped"),
    ],
)
def test_faulty_role_rules_stop_generation(tables, props, monkeypatch, rule, patch, named):
    monkeypatch.setattr(gen, rule, {**getattr(gen, rule), **patch})
    faulty = dataclasses.replace(tables, roles=gen.brahmic_roles(props))
    with pytest.raises(ValueError, match=named.replace("+", r"\+")):
        gen.check(faulty, props)


def test_a_role_exception_names_a_brahmic_character(props, monkeypatch):
    monkeypatch.setattr(gen, "ROLE_EXCEPTIONS", {**gen.ROLE_EXCEPTIONS, "THAI CHARACTER KO KAI": gen.CONSONANT})
    with pytest.raises(ValueError, match="THAI CHARACTER KO KAI"):
        gen.brahmic_roles(props)
