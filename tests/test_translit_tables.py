"""Properties of the generated transliteration data, checked on the generator's own output.

The lookups themselves are tested natively (tests/native/test_translit_*.cpp);
these sweeps need the Unicode properties that only the generator reads.
"""

import pathlib
import re
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
    "patch, named",
    [
        pytest.param({"BRAHMIC_RANGES": [r for r in gen.BRAHMIC_RANGES if r[0] != 0x1062]}, "U+1062 MYANMAR VOWEL SIGN",
                     id="myanmar-vowel-sign-unclassed"),
        pytest.param({"BRAHMIC_RANGES": [r for r in gen.BRAHMIC_RANGES if r[0] != 0x0CD5]}, "U+0CD5 KANNADA LENGTH MARK",
                     id="kannada-length-mark-unclassed"),
        pytest.param({"NOT_VOWEL_SIGNS": set()}, "U+AAF5 MEETEI MAYEK VOWEL SIGN VISARGA", id="visarga-by-name"),
        pytest.param({"MALAYALAM_FRACTIONS": range(0)}, "U+0D58 MALAYALAM FRACTION", id="fraction-as-consonant"),
    ],
)
def test_brahmic_class_faults_stop_generation(tables, props, monkeypatch, patch, named):
    for name, value in patch.items():
        monkeypatch.setattr(gen, name, value)
    with pytest.raises(ValueError, match=named.replace("+", r"\+")):
        gen.check(tables, props)


def test_generator_classes_are_the_engines():
    """The generator's copy of the engine's Brahmic ranges, which its class checks rely on."""
    source = (pathlib.Path(__file__).resolve().parents[1] / "src" / "translit" / "classes.cpp").read_text()
    names = {"Consonant": gen.CONSONANT, "DependentVowelSign": gen.VOWEL_SIGN, "Virama": gen.VIRAMA,
             "SubjoinedConsonant": gen.SUBJOINED}
    engine = [(int(a, 16), int(b, 16), names[cls])
              for a, b, cls in re.findall(r"\{0x([0-9A-F]+), 0x([0-9A-F]+), BrahmicClass::(\w+)\}", source)]
    assert engine == gen.BRAHMIC_RANGES
