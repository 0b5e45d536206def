"""Host-name analysis against the idna package's UTS #46 decoding.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_hostname.py

The same 20 hosts in eight scripts (ASCII, Unicode and ACE forms) go through
`_is_suspicious_hostname` (the whole analysis: UTS #46 processing, NFKC,
scripts, bidi, confusables) and through `idna.decode(host, uts46=True)` (UTS
#46 decoding alone). Rounds alternate between the two in one run; the best
round of each counts. ratio = idna time / kelrad time (above 1: kelrad faster).
"""

from __future__ import annotations

import functools
import sys
import time

import idna

from interleaved import Row, load_core, per_call, rows_for

_core = load_core()

ASCII = ["example.com", "www.python.org", "MAIL.Example.COM", "rnicrosoft.com"]
UNICODE = [
    "пример.рф",            # Cyrillic
    "παράδειγμα.δοκιμή",    # Greek
    "דוגמה.טעסט",           # Hebrew
    "例子.测试",             # Han
    "ドメイン名例.jp",       # Katakana, Han
    "실례.테스트",           # Hangul
    "उदाहरण.परीक्षा",         # Devanagari
    "münchen.de",           # Latin
]
# The ACE forms of all but the last two Unicode hosts.
ACE = [idna.encode(host, uts46=True).decode("ascii") for host in UNICODE[:6]]
ACE += ["xn--80ak6aa92e.com", "xn--mnchen-3ya.de"]
HOSTS = ASCII + UNICODE + ACE


def timed(fn, hosts, repeat: int) -> float:
    """Seconds per call over `repeat` passes through the hosts."""
    t0 = time.perf_counter()
    for _ in range(repeat):
        for host in hosts:
            fn(host)
    return (time.perf_counter() - t0) / (repeat * len(hosts))


def interleaved(ours, theirs, hosts, rounds: int = 15, repeat: int = 200) -> tuple[float, float]:
    best_ours = best_theirs = float("inf")
    for _ in range(rounds):
        best_ours = min(best_ours, timed(ours, hosts, repeat))
        best_theirs = min(best_theirs, timed(theirs, hosts, repeat))
    return best_ours, best_theirs


def main() -> None:
    assert len(HOSTS) == 20
    for host in HOSTS:
        idna.decode(host, uts46=True)  # every host is one the peer accepts

    ours = _core._is_suspicious_hostname
    theirs = functools.partial(idna.decode, uts46=True)

    print(f"CPython {sys.version.split()[0]}, idna {idna.__version__}")
    print("per call; ratio = idna time / kelrad time (above 1: kelrad faster)")
    for label, hosts in [("all 20 hosts", HOSTS), ("ASCII", ASCII), ("Unicode", UNICODE), ("ACE", ACE),
                         ("example.com", ["example.com"])]:
        k, p = interleaved(ours, theirs, hosts)
        print(f"  {label:<14} kelrad {k * 1e9:9.0f} ns   idna {p * 1e9:9.0f} ns   x{p / k:7.1f}")
    print("\nTargets: all 20 hosts x20 or more; example.com under 400 ns.")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: the 20 hosts and 'example.com'."""
    rounds = 5 if quick else 15
    namespace = {"_core": _core, "idna": idna}
    ours, theirs = "_core._is_suspicious_hostname(s)", "idna.decode(s, uts46=True)"
    out = rows_for("host names, per call", "_is_suspicious_hostname, 20 hosts", "idna.decode (UTS #46)", 20.0, "ns",
                   lambda f: per_call(ours, theirs, namespace, HOSTS, fresh_str=f, repeat=50, rounds=rounds))
    k, p = per_call(ours, theirs, namespace, ["example.com"], fresh_str=False, repeat=1000, rounds=rounds)
    out.append(Row("host names, per call", "_is_suspicious_hostname, 'example.com'", "idna.decode (UTS #46)", p, k,
                   unit="ns", str_objects="reused", ceiling=400e-9))
    return out


if __name__ == "__main__":
    main()
