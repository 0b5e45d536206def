"""Edit distance and punctuation folding."""

import random

import pytest

from conftest import assert_lets_threads_run, sorting
from kelrad import _core


@pytest.mark.parametrize(
    "a, b, distance",
    [
        ("kitten", "sitting", 3),
        ("", "abc", 3),
        ("abc", "", 3),
        ("abc", "acb", 2),  # no transposition step
        ("é", "e", 1),  # scalar values, not bytes
        ("e\u0301", "é", 2),
        ("\U0001F600", "\U0001F601", 1),
        ("日本語", "日本", 1),
        ("", "", 0),
    ],
)
def test_edit_distance(a, b, distance):
    assert _core._edit_distance(a, b) == distance
    assert _core._edit_distance(b, a) == distance


ALPHABETS = {
    "ascii": "abc",
    "mixed scripts": "a\u00e9\u0416\u05d0\u65e5\uac00\U0001F600",
    "astral": "\U0001F600\U0001F601\U00020000\U0010FFFD",
}


# Each substitution by a character the text lacks costs exactly one edit.
@pytest.mark.parametrize("alphabet", ALPHABETS.values(), ids=ALPHABETS.keys())
def test_edit_distance_of_long_texts(alphabet):
    rng = random.Random(3)
    a = list(rng.choices(alphabet, k=30_000))
    b = a[:]
    for i in rng.sample(range(len(b)), 100):
        b[i] = "\u2603"
    assert _core._edit_distance("".join(a), "".join(b)) == 100


def test_other_threads_run_during_a_long_distance():
    rng = random.Random(4)
    a = "".join(rng.choices(ALPHABETS["mixed scripts"], k=100_000))
    b = "".join(rng.choices(ALPHABETS["mixed scripts"], k=100_000))
    assert_lets_threads_run(lambda: _core._edit_distance(a, b), control=sorting())


@pytest.mark.parametrize(
    "text, folded",
    [
        ("\u201chi\u201d", '"hi"'),
        ("a\u2014b\u2013c\u2212d\u2010e", "a-b-c-d-e"),
        ("wait\u2026", "wait..."),
        ("6\u2032 7\u2033 8\u2034 \u2037", "6' 7\" 8''' '''"),
        ("\u2018x\u2019 \u201a\u201b \u2035\u2036", "'x' '' '\""),
        ("a\u3000b\u00a0c\u2009d\u202fe\u205ff\u1680g", "a b c d e f g"),
        ("keep \u2028\u2039\u2016\u2030\uff02", "keep \u2028\u2039\u2016\u2030\uff02"),
        ("", ""),
        ("plain ascii", "plain ascii"),
    ],
)
def test_fold_punctuation(text, folded):
    assert _core._fold_punctuation(text) == folded
