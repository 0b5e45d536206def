"""Nearest match: `_nearest_match` and its result class `NearestMatch`."""

import random

import pytest

from conftest import assert_lets_threads_run, raised, sorting
from kelrad import _core

M = _core._nearest_match


@pytest.mark.parametrize(
    "value, candidates, options, expected",
    [
        ("colour", ["color", "colours"], {}, ("color", 1)),  # a tie: the first wins
        ("abc", ["xyz"], {}, None),
        ("abc", ["xyz"], {"max_distance": 2**64 - 1}, ("xyz", 3)),
        ("abc", [], {"max_distance": 2**64 - 1}, None),
        ("abc", ["abd", "abc"], {"max_distance": 0}, ("abc", 0)),
        ("ABC", ["abc"], {}, None),  # case counts
        ("\u00e9", ["e\u0301"], {}, None),  # code points, not bytes or clusters
        ("\u00e9", ["e\u0301"], {"max_distance": 2}, ("e\u0301", 2)),
        ("", ["ab", "a"], {}, ("a", 1)),
        ("abcd", ["xbcx", "abxd", "abcdef"], {"max_distance": 2}, ("abxd", 1)),  # a later, closer one wins
    ],
)
def test_nearest_match(value, candidates, options, expected):
    match = M(value, candidates, **options)
    assert (match.value, match.distance) == expected if expected else match is None


class Word(str):
    pass


def brute_force(value, candidates, max_distance):
    best = None
    for c in candidates:
        d = _core._edit_distance(value, c)
        if d <= max_distance and (best is None or d < best[1]):
            best = (c, d)
            if d == 0:
                break
    return best


# Short lists are scanned with the interpreter lock held, long ones without.
@pytest.mark.parametrize("rounds, most_candidates", [(3000, 10), (20, 3000)])
def test_equals_a_brute_force_scan(rounds, most_candidates):
    rng = random.Random(5)
    alphabet = ["a", "b", "\u00e9", "e", "\u0301", "\u65e5", "\U0001F600"]
    for _ in range(rounds):
        value = "".join(rng.choices(alphabet, k=rng.randrange(7)))
        count = rng.randrange(most_candidates)
        candidates = ["".join(rng.choices(alphabet, k=rng.randrange(7))) for _ in range(count)]
        if candidates and rng.random() < 0.3:
            candidates[rng.randrange(len(candidates))] = Word(value)
        max_distance = rng.choice([0, 1, 2, 3, 6, 2**64 - 1])
        match = M(value, candidates, max_distance=max_distance)
        assert (match and (match.value, match.distance)) == brute_force(value, candidates, max_distance)


# Quadratic work would not finish: 40 distances of 10^10 cells each.
def test_long_value_against_long_candidates():
    value = "ab" * 50_000
    candidates = ["cd" * 50_000] * 20 + ["ab" * 49_999 + "ac"] + ["b" + value[1:]] * 19
    match = M(value, candidates)
    assert (match.value, match.distance) == ("ab" * 49_999 + "ac", 1)
    assert M(value, candidates[:20], max_distance=10) is None
    assert M(value, ["ba" * 50_000], max_distance=50).distance == 2


def test_other_threads_run_during_a_large_scan():
    rng = random.Random(7)
    text = "".join(rng.choices("abcdefghij", k=100_000))
    value = text[:300]
    words = [text[i:i + 300] for i in rng.sample(range(1_000, 99_000), 45_000)]
    assert_lets_threads_run(lambda: M(value, words, max_distance=300), control=sorting())


class Reversed(list):
    def __iter__(self):
        return reversed(self[:])


class Items:
    """A sequence that yields its items, then fails."""

    def __init__(self, *items):
        self.items = items

    def __len__(self):
        return 1

    def __getitem__(self, i):
        if i < len(self.items):
            return self.items[i]
        raise ValueError("broken sequence")


@pytest.mark.parametrize(
    "candidates, expected",
    [
        (("abd", "abc"), ("abc", 0)),
        (Reversed(["abd", "abe"]), ("abe", 1)),  # a list subclass is iterated as it says
        (Items("abx", "abd"), ValueError),
        (Items("abx", 5), TypeError),  # the bad item, before the failing iteration
        (iter(["abc"]), TypeError),  # not a sequence
    ],
    ids=["tuple", "list subclass", "failing iteration", "bad item first", "iterator"],
)
def test_candidate_sequences(candidates, expected):
    if isinstance(expected, type):
        raised(expected, lambda: M("abc", candidates), param="candidates")
    else:
        match = M("abc", candidates)
        assert (match.value, match.distance) == expected


@pytest.mark.parametrize(
    "value, shown",
    [  # the escapes are tested natively (error_quoted_literals); the repr shows them
        ('say "hi"\t\u200b', r'"say \"hi\"\t\u{200b}"'),
        ("it's", "\"it's\""),
        ("pua\ue000", r'"pua\u{e000}"'),
        ("unassigned\U0003ffff", r'"unassigned\u{3ffff}"'),
        ("\u00e9 \u65e5 \U0001F600", '"\u00e9 \u65e5 \U0001F600"'),
    ],
)
def test_repr_quotes_with_debug_escapes(value, shown):
    assert repr(M(value, [value])) == f"NearestMatch(value={shown}, distance=0)"


def test_values_are_plain_str():
    assert type(M("colour", [Word("colours")]).value) is str
