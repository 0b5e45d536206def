"""Confusable folds, tests and reports (UTS #39)."""

import pytest

import kelrad
from conftest import UCD, data_rows, ucd_property
from kelrad import _core

DATA = UCD.parent
TARGETS = ("latin", "cyrillic", "arabic", "hebrew")
POLICIES = ("numeric", "tr39", "preserve")


SOURCES = {chr(int(f[0], 16)): "".join(chr(int(x, 16)) for x in f[1].split())
           for f in data_rows(DATA / "security" / "confusables.txt")}


def pairs(spec):
    items = spec.split()
    return {k: chr(int(v, 16)) for k, v in zip(items[::2], items[1::2])}


# Rows callers rely on, per target: source -> prototype.
ROWS = {
    "latin": {"\u0430": "a", "\u03bf": "o", "\u0261": "g", "\uff41": "a", "\U0001d41a": "a", "\u2160": "I",
              "\u217c": "l", "\ufb01": "fi", "\u2025": "..", "\U0001d7ce": "0", "\U0001d592": "rn", "\u2026": "...",
              "\u2485": "(l8)", "\u0101": "\u00e3", "\u0138": "k", "\U0001f182": "S", '"': "''", "`": "'", "|": "l",
              "\u01c4": "D\u017d", "\u011b": "\u0115", "\u0411": "b"},
    "cyrillic": {"\U0001d7cf": "1", **pairs(
        "A 0410 B 0412 C 0421 E 0415 G 050C H 041D I 0406 J 0408 K 041A M 041C O 041E P 0420 S 0405 T 0422 V 0474 "
        "W 051C X 0425 Y 0423 a 0430 b 044C c 0441 d 0501 e 0435 h 04BB i 0456 j 0458 l 04CF o 043E p 0440 q 051B "
        "r 0433 s 0455 v 0475 w 0448 x 0445 y 0443 | 04CF")},
    "arabic": pairs("% 066A ( FD3E ) FD3F * 066D , 060D - 06D4 . 0660 I 0627 V 0667 l 0627 o 0647 | 0627"),
    "hebrew": pairs("\" 05F2 ' 05D9 : 05C3 I 05C0 ` 05D9 l 05C0 o 05E1 v 05D8 | 05C0"),
}


def digit_prototypes(spec):
    out = {}
    for group in spec.split(";"):
        cps, value = group.split("->")
        out.update((chr(int(cp, 16)), value.strip()) for cp in cps.split())
    return out


DIGIT_PROTOTYPES = digit_prototypes(
    "0660 06F0 -> .; 0661 06F1 -> l; 0665 06F5 -> o; 0667 06F7 -> V; 0668 06F8 -> a;"
    "0966 09E6 0A66 0AE6 0B66 0BE6 0C66 0D66 0E50 0ED0 1040 17E0 2070 114D0 -> o;"
    "07C0 0CE6 118E0 11DE0 1CCF0 1D7CE 1D7D8 1D7E2 1D7EC 1D7F6 1FBF0 -> O;"
    "11DE1 1CCF1 1D7CF 1D7D9 1D7E3 1D7ED 1D7F7 1FBF1 -> l; 118E3 -> rn; 118E5 -> Z; 118E6 -> W; 118E9 -> C")
# The numeric value of every character that has one (UnicodeData field 8).
NUMERIC = {chr(int(f[0], 16)): f[8] for f in data_rows(DATA / "ucd" / "UnicodeData.txt") if f[8]}


@pytest.mark.parametrize("target", TARGETS)
@pytest.mark.parametrize("policy", POLICIES)
def test_table_rows_fold_under_each_policy(target, policy):
    rows = dict(ROWS[target])
    if target == "latin":  # every digit prototype is a key, whose fold is its ASCII digit
        rows.update({c: NUMERIC[c] for c in DIGIT_PROTOTYPES})
    failures = []
    for source, value in rows.items():
        want = value
        if policy == "preserve" and len(value) == 1 and value.isascii() and value.isdigit():
            want = source
        if policy == "tr39" and target == "latin" and source in DIGIT_PROTOTYPES:
            want = DIGIT_PROTOTYPES[source]
        got = _core._normalize_confusables(source, target_script=target, digit_policy=policy)
        if got != want:
            failures.append(f"U+{ord(source):04X}: {got!r} != {want!r}")
    assert failures == []


@pytest.mark.parametrize("text, kwargs, expected", [
    pytest.param("", {}, "", id="empty"),
    pytest.param("a|b", {}, "alb", id="printable-ascii-folds"),
    pytest.param("axe", {"target_script": "cyrillic"}, "\u0430\u0445\u0435", id="latin-letters-to-cyrillic"),
    pytest.param("\u0440\u0430\u0443\u0440\u0430l", {}, "paypal", id="cyrillic-word"),
    pytest.param("\U0001d7cf", {"target_script": "cyrillic", "digit_policy": "tr39"}, "1", id="tr39-only-for-latin"),
    pytest.param("e\u0301", {}, "\u00e9", id="mark-without-confusable-composes"),
    pytest.param("e\u030c!", {}, "\u0115!", id="decomposed-source-folds-composed"),
    pytest.param("x\u0430\u0301y", {}, "x\u00e1y", id="folded-base-composes-with-its-mark"),
    pytest.param("\u00e7 \u0142", {}, "\u00e7 \u0142", id="letters-keeping-their-marks"),
])
def test_normalize_confusables(text, kwargs, expected):
    assert _core._normalize_confusables(text, **kwargs) == expected


BAD_ARGUMENT = kelrad.InvalidArgumentError
TARGET_MESSAGE = "target_script must be one of 'latin', 'cyrillic', 'arabic', 'hebrew', got '{}'"


@pytest.mark.parametrize("function, args, kwargs, exc, message", [
    pytest.param("_normalize_confusables", ("x",), {"target_script": "Latin"}, BAD_ARGUMENT,
                 TARGET_MESSAGE.format("Latin"), id="target-letter-case"),
    pytest.param("_normalize_confusables", ("x",), {"target_script": "latin "}, BAD_ARGUMENT,
                 TARGET_MESSAGE.format("latin "), id="target-trailing-space"),
    pytest.param("_normalize_confusables", ("x",), {"digit_policy": "TR39"}, BAD_ARGUMENT,
                 "digit_policy must be 'numeric', 'tr39', or 'preserve', got 'TR39'", id="policy-letter-case"),
    pytest.param("_normalize_confusables", ("",), {"target_script": "", "digit_policy": ""}, BAD_ARGUMENT,
                 TARGET_MESSAGE.format(""), id="target-checked-before-policy"),
    pytest.param("_is_confusable", ("x",), {"target_script": "Latin"}, BAD_ARGUMENT,
                 TARGET_MESSAGE.format("Latin"), id="is-confusable-target"),
    pytest.param("_find_confusables", ("x",), {"target_script": "greek", "allowed_scripts": "Latin"}, TypeError,
                 "Can't extract `str` to `Vec`", id="allowed-str-before-target"),
    pytest.param("_find_confusables", ("x",), {"target_script": "greek", "allowed_scripts": ["Klingon"]},
                 BAD_ARGUMENT, TARGET_MESSAGE.format("greek"), id="target-before-allowed-names"),
    pytest.param("_find_confusables", ("\u0430",), {"allowed_scripts": ["Cyrillic", "Carian", "Latin"]},
                 BAD_ARGUMENT, "unknown script 'Carian'", id="first-unknown-allowed-name"),
    pytest.param("_confusable_coverage", ("latin",), {}, BAD_ARGUMENT, "unknown script 'latin'",
                 id="coverage-case-sensitive"),
    pytest.param("_unmapped_confusables", (), {"target_script": "x"}, BAD_ARGUMENT, TARGET_MESSAGE.format("x"),
                 id="unmapped-target"),
    pytest.param("_find_unmapped_confusables", ("",), {"target_script": "x"}, BAD_ARGUMENT,
                 TARGET_MESSAGE.format("x"), id="find-unmapped-target"),
])
def test_errors(function, args, kwargs, exc, message):
    with pytest.raises(exc) as raised:
        getattr(_core, function)(*args, **kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize("text, target, expected", [
    pytest.param("", "latin", False, id="empty"),
    pytest.param("a|b\"`", "latin", False, id="printable-ascii-keys-skipped"),
    pytest.param("axe", "cyrillic", False, id="latin-letters-for-cyrillic"),
    pytest.param("\u0430", "latin", True, id="cyrillic-a"),
    pytest.param("\u0430", "cyrillic", False, id="cyrillic-a-for-cyrillic"),
    pytest.param("\u00d7", "cyrillic", True, id="multiplication-sign-for-cyrillic"),
    pytest.param("\U0001d7ce", "latin", True, id="digit-whatever-the-policy"),
    pytest.param("e\u030c", "latin", True, id="decomposed-tested-composed"),
    pytest.param("\u212a", "latin", True, id="kelvin-as-written"),
])
def test_is_confusable(text, target, expected):
    assert _core._is_confusable(text, target_script=target) is expected


@pytest.mark.parametrize("text, kwargs, expected", [
    pytest.param("a|b I0", {"target_script": "cyrillic"}, [], id="printable-ascii"),
    pytest.param("\u0430x", {}, [("\u0430", 0, "a")], id="cyrillic-a"),
    pytest.param("\u0430x", {"allowed_scripts": ["cyrillic"]}, [], id="allowed-script-caseless"),
    pytest.param("\u0430x", {"allowed_scripts": []}, [("\u0430", 0, "a")], id="empty-allowed-is-none"),
    pytest.param("\uff41\u0430", {"allowed_scripts": ["Common", "Cyrillic"]}, [("\uff41", 0, "a")],
                 id="common-always-reported"),
    pytest.param("\u00e9\u0430", {}, [("\u0430", 2, "a")], id="offsets-in-utf8-bytes"),
    pytest.param("xe\u030c", {}, [("e", 1, "\u0115")], id="composed-reported-at-its-first-character"),
])
def test_find_confusables(text, kwargs, expected):
    assert _core._find_confusables(text, **kwargs) == expected


def test_unmapped_reports():
    assert _core._find_unmapped_confusables("I am 10%") == [("I", 0), ("m", 3), ("1", 5), ("0", 6), ("%", 7)]
    assert _core._find_unmapped_confusables("") == [] and _core._find_confusables("") == []
    latin = _core._unmapped_confusables()
    assert (len(latin), latin[0]) == (4544, "%")
    assert [len(_core._unmapped_confusables(target_script=t)) for t in TARGETS[1:]] == [5290, 6203, 6309]


@pytest.mark.parametrize("script, expected", [
    ("Latin", ("Latin", 1985, 1695)), ("Georgian", ("Georgian", 0, 0)), ("Carian", ("Carian", 8, 3)),
])
def test_confusable_coverage(script, expected):
    assert _core._confusable_coverage(script) == expected


@pytest.mark.parametrize("target", TARGETS)
def test_reports_agree_over_every_source(target):
    unmapped = set(_core._unmapped_confusables(target_script=target))
    assert unmapped <= SOURCES.keys()
    failures = []
    for source in SOURCES:
        folds = source not in unmapped
        reported = not ("!" <= source <= "~") and folds
        nfd = _core._normalize(source, form="NFD")
        composes = nfd != source and _core._normalize(nfd, form="NFC") == source
        got = (_core._is_confusable(source, target_script=target),
               len(_core._find_confusables(source, target_script=target)),
               _core._find_unmapped_confusables(source, target_script=target),
               _core._is_confusable(nfd, target_script=target) if composes else reported)
        if got != (reported, int(reported), [] if folds else [(source, 0)], reported):
            failures.append(f"U+{ord(source):04X}: {got}")
    assert failures == []


def test_coverage_counts_the_sources_some_map_folds():
    script = {chr(cp): name.replace("_", "") for cp, name in ucd_property("Scripts.txt").items()}
    unmapped_everywhere = set.intersection(*(set(_core._unmapped_confusables(target_script=t)) for t in TARGETS))
    rows = {}
    for source, prototype in SOURCES.items():
        row = rows.setdefault(script[prototype[0]], [0, 0])
        row[0] += 1
        row[1] += source not in unmapped_everywhere
    assert {name: tuple(_core._confusable_coverage(name)[1:]) for name in rows} == {
        name: tuple(row) for name, row in rows.items()}
