"""Extended grapheme clusters (UAX #29): length, split and truncation."""

import pathlib
import random

import pytest

from kelrad import _core

UCD = pathlib.Path(__file__).resolve().parents[1] / "data" / "unicode-17.0.0" / "ucd"


def test_conformance_file_every_line():
    failures = []
    lines = (UCD / "auxiliary" / "GraphemeBreakTest.txt").read_text(encoding="utf-8").splitlines()
    rows = [(n, line.split("#", 1)[0].strip()) for n, line in enumerate(lines, 1)]
    rows = [(n, [("".join(chr(int(cp, 16)) for cp in part.replace("\u00d7", " ").split()))
                 for part in row.strip("\u00f7 ").split("\u00f7")]) for n, row in rows if row]
    assert len(rows) == 766
    for number, clusters in rows:
        text = "".join(clusters)
        # Between controls, which break on both sides (GB4, GB5), the ASCII
        # paths meet every sequence too.
        checks = {
            "split": _core._grapheme_split(text) == clusters,
            "len": _core._grapheme_len(text) == len(clusters),
            "framed": _core._grapheme_split("\0" + text + "\0") == ["\0", *clusters, "\0"],
            "framed len": _core._grapheme_len("x\0" + text + "\0y") == len(clusters) + 4,
        }
        if bad := [name for name, ok in checks.items() if not ok]:
            failures.append(f"line {number} [{' '.join(f'{ord(c):04X}' for c in text)}]: {', '.join(bad)}")
    assert not failures, f"{len(failures)} failures:\n" + "\n".join(failures[:30])


# The file tests pairs; these are the ASCII shortcuts around longer runs.
@pytest.mark.parametrize(
    "text, clusters",
    [
        pytest.param("", [], id="empty"),
        pytest.param("ab\r\ncd", ["a", "b", "\r\n", "c", "d"], id="crlf-inside-ascii"),
        pytest.param("\r\r\n\n", ["\r", "\r\n", "\n"], id="cr-crlf-lf"),
        pytest.param("xe\u0301", ["x", "e\u0301"], id="last-of-ascii-run-takes-mark"),
        pytest.param("\u0600ab", ["\u0600a", "b"], id="prepend-takes-first-of-run"),
    ],
)
def test_clusters(text, clusters):
    assert _core._grapheme_split(text) == clusters
    assert _core._grapheme_len(text) == len(clusters)


def test_count_agrees_with_split_on_random_text():
    # The count skips ASCII runs word by word; the split walks cluster by cluster.
    pool = ["a", " ", "\r", "\n", "\t", "\u0301", "\u200d", "\u094d", "\u0915", "\u0600", "\U0001F1E6",
            "\U0001F600", "\u1100", "\u1161", "\uac00", "\u0903", "\ufe0f", "\U0001F3FB", "abcdefghij"]
    rng = random.Random(29)
    for _ in range(5000):
        text = "".join(rng.choice(pool) for _ in range(rng.randrange(24)))
        parts = _core._grapheme_split(text)
        assert "".join(parts) == text and all(parts)
        assert _core._grapheme_len(text) == len(parts), ascii(text)


@pytest.mark.parametrize(
    "text, n, want",
    [
        pytest.param("abc", 0, "", id="zero"),
        pytest.param("abc", 5, "abc", id="more-than-there-are"),
        pytest.param("abc", 2**63 - 1, "abc", id="largest"),
        pytest.param("e\u0301e\u0301", 1, "e\u0301", id="keeps-marks"),
        pytest.param("\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7x", 2, "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7",
                     id="flags"),
    ],
)
def test_truncate(text, n, want):
    assert _core._grapheme_truncate(text, max_graphemes=n) == want


def test_truncate_refuses_a_negative_count():
    with pytest.raises(_core.InvalidArgumentError, match="^max_graphemes must be non-negative, got -1$"):
        _core._grapheme_truncate("abc", -1)
