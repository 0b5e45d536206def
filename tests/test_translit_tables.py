"""Properties of the generated transliteration data, checked on the generator's own output.

The lookups themselves are tested natively (tests/native/test_translit_*.cpp);
these sweeps need the Unicode properties that only the generator reads.
"""

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


@pytest.mark.parametrize("cp, value", [
    pytest.param(0x0902, "m", id="devanagari-anusvara"),
    pytest.param(0x0941, "u", id="devanagari-vowel-sign-u"),
    pytest.param(0x0E34, "i", id="thai-vowel-sign-i"),
    pytest.param(0x05B8, "a", id="hebrew-qamats"),
    pytest.param(0x064E, "a", id="arabic-fatha"),
    pytest.param(0x0670, "a", id="arabic-superscript-alef"),
    pytest.param(0x07A6, "a", id="thaana-abafili"),
    pytest.param(0x1753, "u", id="buhid-vowel-sign-u"),
])
def test_marks_that_spell_sounds_keep_them(tables, cp, value):
    """Script-specific marks are letters' vowels, not diacritics to drop."""
    assert tables.bmp[cp] == value


def test_non_letters_at_consonant_positions_have_no_value(tables):
    assert not {0x0D58, 0x0D5E} & tables.bmp.keys()


def test_pinyin_syllables(tables, props):
    assert tables.syllables[0] == "" and all(s.isascii() and s.isalpha() for s in tables.syllables[1:])
    # Numbered by first appearance in code-point order.
    firsts = {}
    for cp in sorted(tables.syllable_of):
        firsts.setdefault(tables.syllable_of[cp], cp)
    assert sorted(firsts, key=firsts.get) == list(range(1, 412))


def test_toned_map(tables, props):
    assert all(0x4E00 <= cp <= 0x9F99 for cp in tables.toned)
    assert {hex(cp): v for cp, v in tables.toned.items()
            if gen.toneless(v, props) != tables.syllables[tables.syllable_of[cp]]} == {}
    assert tables.toned[0x66F4] == "gēng" and tables.toned[0x4E86] == "le"
    assert 0x8C48 not in tables.toned  # rare: U+F900 stays toneless
    assert any(not v.isascii() for v in tables.toned.values())


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
