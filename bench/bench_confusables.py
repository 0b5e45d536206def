"""Confusable tests and folds against confusable_homoglyphs.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_confusables.py

(a) 5,000 distinct identifiers of 5 to 40 characters (accented Latin letters
and digits; a fifth carry Cyrillic or Greek look-alikes): `_is_confusable`
against `is_confusable(s, preferred_aliases=["latin", "common"])`, and
`_find_confusables` against the same call with greedy=True.
(b) `_is_confusable` on 1 MiB of clean accented text against the first call.
(c) `_normalize_confusables` throughput on 1 MiB of ASCII and of mixed text.

The two libraries run in interleaved rounds; each figure is the best round.
The ratio is the peer's time over kelrad's (above 1: kelrad is faster).
"""

from __future__ import annotations

import importlib.metadata
import random
import sys
import time

from confusable_homoglyphs import confusables as peer

from interleaved import EIGHT_WORDS, Row, best_rounds, load_core, per_call, rows_for, whole

_core = load_core()

MIB = 1 << 20
ALIASES = ["latin", "common"]
ROUNDS = 7

LATIN = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ" * 3 + "éèêëàâäîïôöùûüçñåøßÉÈÀÇÑ"
DIGITS = "0123456789"
LOOKALIKES = "аеорсухіАВЕКМНОРСТХαοικνρτυΑΒΕΖΗΙΚΜΝΟΡΤΥΧ"

ACCENTED = (
    "L'été dernier, nous sommes allés à la mer ; les enfants ont bâti des châteaux de sable près du "
    "phare. Où est passée la clé ? Ça ne fait rien, répondit-elle, c'est déjà l'heure du goûter. "
    "Über den Wolken muss die Freiheit wohl grenzenlos sein; Señor Núñez pidió más café.\n"
)
ENGLISH = (
    "The quick brown fox jumps over the lazy dog while the committee reviews its annual report. "
    "Nobody expected the meeting to last until midnight, yet every question deserved an answer.\n"
)
MIXED = (
    "Pay your bill at pаypal.com (Cyrillic а) or ｐａｙｐａｌ．ｃｏｍ; 𝐬𝐞𝐜𝐮𝐫𝐞 𝐥𝐨𝐠𝐢𝐧 in ten 𝟏𝟎 minutes. "
    "Οι λέξεις του κειμένου, Съешь же ещё этих мягких булок — résumé, naïve, ﬁnal ﬂight №5.\n"
)


def identifiers(n: int = 5000) -> list[str]:
    rng = random.Random(20240601)
    seen: set[str] = set()
    out: list[str] = []
    while len(out) < n:
        length = rng.randint(5, 40)
        chars = [rng.choice(LATIN) if rng.random() < 0.85 else rng.choice(DIGITS) for _ in range(length)]
        if len(out) % 5 == 0:
            for _ in range(rng.randint(1, 3)):
                chars[rng.randrange(length)] = rng.choice(LOOKALIKES)
        s = "".join(chars)
        if s not in seen:
            seen.add(s)
            out.append(s)
    return out


def mib_of(sample: str) -> str:
    per = len(sample.encode("utf-8"))
    return sample * (MIB // per)


def interleaved(ours, theirs) -> tuple[float, float]:
    """Best time of each over ROUNDS rounds, alternating which runs first."""
    best_ours = best_theirs = float("inf")
    for r in range(ROUNDS):
        pair = [(0, ours), (1, theirs)] if r % 2 == 0 else [(1, theirs), (0, ours)]
        for which, fn in pair:
            t0 = time.perf_counter()
            fn()
            dt = time.perf_counter() - t0
            if which == 0:
                best_ours = min(best_ours, dt)
            else:
                best_theirs = min(best_theirs, dt)
    return best_ours, best_theirs


def best(fn) -> float:
    times = []
    for _ in range(ROUNDS):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def row(label: str, ours: float, theirs: float) -> float:
    print(f"  {label:<44} kelrad {ours * 1e3:9.3f} ms   peer {theirs * 1e3:10.3f} ms   x{theirs / ours:8.1f}")
    return theirs / ours


def main() -> None:
    peer_version = importlib.metadata.version("confusable_homoglyphs")
    print(f"CPython {sys.version.split()[0]}, confusable_homoglyphs {peer_version}")
    ids = identifiers()
    print(f"(a) {len(ids)} identifiers, {sum(map(len, ids))} characters")
    is_ours, is_theirs = interleaved(lambda: [_core._is_confusable(s) for s in ids],
                                     lambda: [peer.is_confusable(s, preferred_aliases=ALIASES) for s in ids])
    row("_is_confusable / is_confusable", is_ours, is_theirs)
    find_ours, find_theirs = interleaved(
        lambda: [_core._find_confusables(s) for s in ids],
        lambda: [peer.is_confusable(s, greedy=True, preferred_aliases=ALIASES) for s in ids])
    row("_find_confusables / is_confusable greedy", find_ours, find_theirs)
    combined = (is_theirs + find_theirs) / (is_ours + find_ours)
    print(f"  {'combined (target >= 50)':<44} x{combined:.1f}")

    clean = mib_of(ACCENTED)
    assert not _core._is_confusable(clean)
    print(f"(b) clean accented text, {len(clean.encode())} bytes")
    ours, theirs = interleaved(lambda: _core._is_confusable(clean),
                               lambda: peer.is_confusable(clean, preferred_aliases=ALIASES))
    print(f"  {'target >= 5':<44} x{row('_is_confusable / is_confusable', ours, theirs):.1f}")

    print("(c) _normalize_confusables throughput")
    for label, text, target in (("ASCII (target >= 1000 MB/s)", mib_of(ENGLISH), 1000),
                                ("mixed (target >= 150 MB/s)", mib_of(MIXED), 150)):
        size = len(text.encode())
        t = best(lambda: _core._normalize_confusables(text))
        print(f"  {label:<44} {size / t / 1e6:8.0f} MB/s ({size} bytes, {t * 1e3:.3f} ms)")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: the identifiers (the target is on both
    calls together), the clean accented megabyte, the folding throughput
    and short words."""
    rounds = 3 if quick else ROUNDS
    ids = identifiers()
    out: list[Row] = []
    namespace = {"_core": _core, "peer": peer, "ALIASES": ALIASES}
    calls = {"_is_confusable": ("_core._is_confusable(s)", "peer.is_confusable(s, preferred_aliases=ALIASES)"),
             "_find_confusables": ("_core._find_confusables(s)",
                                   "peer.is_confusable(s, greedy=True, preferred_aliases=ALIASES)")}
    for objects, fresh_str in (("fresh", True), ("reused", False)):
        (is_ours, is_theirs), (find_ours, find_theirs) = (
            per_call(ours, theirs, namespace, ids, fresh_str=fresh_str, rounds=rounds)
            for ours, theirs in calls.values())
        out.append(Row("confusables", "_is_confusable, 5,000 identifiers", "confusable_homoglyphs", is_theirs,
                       is_ours, None, "ns", objects))
        out.append(Row("confusables", "_find_confusables, 5,000 identifiers", "confusable_homoglyphs (greedy)",
                       find_theirs, find_ours, None, "ns", objects))
        out.append(Row("confusables", "both calls together", "confusable_homoglyphs", is_theirs + find_theirs,
                       is_ours + find_ours, 50.0, "ns", objects))
    clean = mib_of(ACCENTED)
    out += rows_for("confusables", "_is_confusable, clean accented 1 MiB", "confusable_homoglyphs", 5.0, "ms",
                    lambda f: whole(_core._is_confusable, lambda s: peer.is_confusable(s, preferred_aliases=ALIASES),
                                    clean, fresh_str=f, rounds=rounds))
    for label, text, rate in (("ASCII", mib_of(ENGLISH), 1e9), ("mixed", mib_of(MIXED), 150e6)):
        (t,) = best_rounds([lambda: _timed_once(_core._normalize_confusables, text)], rounds)
        out.append(Row("confusables", f"_normalize_confusables, 1 MiB {label}, {rate / 1e6:.0f} MB/s", "-", 0.0, t,
                       unit="ms", str_objects="reused", ceiling=len(text.encode()) / rate))
    out += rows_for("short words, per call", "_is_confusable", "confusable_homoglyphs", None, "ns",
                    lambda f: per_call("_core._is_confusable(s)", "peer.is_confusable(s, preferred_aliases=ALIASES)",
                                       namespace, EIGHT_WORDS, fresh_str=f, repeat=100, rounds=rounds))
    return out


def _timed_once(fn, arg) -> float:
    t0 = time.perf_counter()
    fn(arg)
    return time.perf_counter() - t0


if __name__ == "__main__":
    main()
