"""Key collisions: `_find_key_collisions` and its result class `KeyCollision`."""

import pytest

from kelrad import _core


F = _core._find_key_collisions


def groups(result):
    return [(g.key, g.values, g.indices) for g in result]


# The grouping itself is checked natively and, with the real keys, against each key function below.
@pytest.mark.parametrize(
    "values, kwargs, expected",
    [
        ([], {"key": "search_key", "lang": "xx"}, []),  # no string, so the language is never checked
        (["a", "a"], {"key": "fold_case"}, []),  # one distinct value is no collision
        (["Stra\u00dfe", "STRASSE", "strasse"], {"key": "fold_case", "lang": "xx"},
         [("strasse", ["Stra\u00dfe", "STRASSE", "strasse"], [0, 1, 2])]),
    ],
    ids=["empty", "one-distinct", "lang-ignored"],
)
def test_groups(values, kwargs, expected):
    assert groups(F(values, **kwargs)) == expected


KEY_FUNCTIONS = {
    "fold_case": lambda v, lang: _core._fold_case(v),
    "search_key": lambda v, lang: _core._search_key(v, lang=lang),
    "catalog_key": lambda v, lang: _core._catalog_key(v, lang=lang),
    "canonicalize": lambda v, lang: _core._canonicalize(v),
    "canonicalize_strict": lambda v, lang: _core._canonicalize_strict(v),
    "normalize_confusables": lambda v, lang: _core._normalize_confusables(v),
}

MIXED = ["Stra\u00dfe", "strasse", "\u041c\u043e\u0441\u043a\u0432\u0430", "Moskva", "moskva", "\uff2d\uff4f\uff53\uff4b\uff56\uff41",
         "\u00c5ngstr\u00f6m", "\u212bngstr\u00f6m", "angstrom", "\u0391\u03b8\u03ae\u03bd\u03b1", "Athina", "athena",
         "p\u0430yp\u0430l", "paypal", "ｐaypal", "\u00e6sir", "aesir", "\u4e2d\u6587", "zhong wen", "zhongwen",
         "\u00bd", "1/2", "1\u20442", "J\u00fcrgen", "Juergen", "Jurgen", "\u0130stanbul", "istanbul", "ISTANBUL"]


@pytest.mark.parametrize("key", KEY_FUNCTIONS)
@pytest.mark.parametrize("lang", [None, "de", "ru"])
def test_each_key_groups_as_its_function(key, lang):
    keys = [KEY_FUNCTIONS[key](v, lang) for v in MIXED]
    expected = {}
    for i, (v, k) in enumerate(zip(MIXED, keys)):
        g = expected.setdefault(k, (k, [], []))
        if v not in g[1]:
            g[1].append(v)
        g[2].append(i)
    assert groups(F(MIXED, key=key, lang=lang)) == [g for g in expected.values() if len(g[1]) > 1]


def test_registered_replacements_never_reach_the_keys(clean_replacements):
    before = {key: groups(F(MIXED, key=key)) for key in KEY_FUNCTIONS}
    _core._register_replacements({"Moskva": "Paris", "a": "b"})
    assert {key: groups(F(MIXED, key=key)) for key in KEY_FUNCTIONS} == before


def test_limits_and_error_order():
    assert F(["x"] * 100000, key="fold_case") == []
    for name in ("Fold_Case", "fold_case ", "fold"):
        with pytest.raises(_core.InvalidArgumentError, match=f"^key must be 'fold_case', .* got '{name}'$"):
            F([], key=name)
    with pytest.raises(_core.InvalidArgumentError, match="got ''$"):
        F(["x"] * 100001, key="")  # the key is checked before the count
    with pytest.raises(_core.ResourceLimitError, match=r"^batch too large \(100001 items\); maximum is 100000 items$"):
        F(["x"] * 100001, key="fold_case")
    with pytest.raises(_core.InvalidArgumentError, match="xx"):
        F(["a", "b"], key="search_key", lang="xx")
    with pytest.raises(_core.ResourceLimitError, match="expanded the input"):
        F(["a", "\ufdfa" * 349526], key="canonicalize")


def test_repr():
    (group,) = F(["\u200ba\t\"\\", "\u200bA\t\"\\", "\u200ba\t\"\\"], key="fold_case")
    assert repr(group) == 'KeyCollision(key="\\u{200b}a\\t\\"\\\\", values=["\\u{200b}a\\t\\"\\\\", ' \
                          '"\\u{200b}A\\t\\"\\\\"], indices=[0, 1, 2])'
