"""Context-aware transliteration against plain transliteration, the public
entry against `_transliterate`, and the first load of a large dictionary.

    KELRAD_BUILD_DIR=build/tests python bench/bench_context.py

1. A dictionary of 100,000 unigrams and 100,000 bigrams of generated Arabic
   words, written by scripts/build_dictionary.py, and a 1 MiB Arabic text
   whose words come 80% from it (in its bigram pairs), with punctuation and
   Latin words between: `_transliterate_context(lang="ar")` against
   `_transliterate(lang="ar")`, taking turns, median of 9 rounds. A context
   call looks up every word (up to two binary searches) and makes one engine
   call per run, composing each vowelled form; a tenth of the plain speed is
   near what that can reach.
2. `_transliterate_entry` (the package's `transliterate`) against
   `_transliterate` on short ASCII and Cyrillic strings, ns per call.
3. The first load of a dictionary of 1,000,000 unigrams and 1,000,000 bigrams
   written by the builder, in a fresh process.
"""

from __future__ import annotations

import collections
import os
import pathlib
import random
import statistics
import subprocess
import sys
import tempfile
import time

from interleaved import ROOT, Row, load_core

_core = load_core()
PKG_PARENT = str(pathlib.Path(_core.__file__).parents[1])  # where a fresh process finds this kelrad
sys.path.insert(0, str(ROOT / "scripts"))

import build_dictionary  # noqa: E402

MIB = 1 << 20
LETTERS = [chr(c) for c in range(0x0628, 0x063B)] + [chr(c) for c in range(0x0641, 0x064B)]
HARAKAT = ["\u064e", "\u064f", "\u0650", "\u0652"]
SEPARATORS = [" ", " ", " ", ", ", " - ", ". ", "\u060c ", "\n"]
LATIN = ["Latin", "text", "API", "2024", "kelrad"]


def vowelled(key: str, rng: random.Random) -> str:
    return "".join(ch + rng.choice(HARAKAT) for ch in key)


def vocabulary(n_unigrams: int, n_bigrams: int, rng: random.Random):
    """n distinct keys with a vowelled form each, and n pairs of them with a
    bigram form of the second word that differs from its unigram form."""
    keys: set[str] = set()
    while len(keys) < n_unigrams:
        keys.add("".join(rng.choice(LETTERS) for _ in range(rng.randint(3, 7))))
    keys_list = sorted(keys)
    unigrams = {k: collections.Counter({vowelled(k, rng): 1}) for k in keys_list}
    pairs: set[tuple[str, str]] = set()
    while len(pairs) < n_bigrams:
        pairs.add((rng.choice(keys_list), rng.choice(keys_list)))
    bigrams = {}
    for first, second in pairs:
        form = vowelled(second, rng)
        while form in unigrams[second]:
            form = vowelled(second, rng)
        bigrams[(first, second)] = collections.Counter({form: 1})
    return keys_list, sorted(pairs), unigrams, bigrams


def make_text(keys, pairs, rng: random.Random) -> str:
    parts, size = [], 0
    while size < MIB:
        if rng.random() < 0.8:
            words = list(rng.choice(pairs)) if rng.random() < 0.5 else [rng.choice(keys)]
        else:
            words = [rng.choice(LATIN) if rng.random() < 0.5 else "".join(rng.choice(LETTERS) for _ in range(5))]
        for w in words:
            parts.append(w)
            parts.append(rng.choice(SEPARATORS))
            size += len(w.encode()) + 2
    return "".join(parts).encode()[:MIB].decode("utf-8", "ignore")


def median_of(fns, rounds: int = 9) -> list[float]:
    """Seconds per call of each function, the median of rounds in which the
    functions take turns (processor time)."""
    samples = [[] for _ in fns]
    for _ in range(rounds):
        for k, fn in enumerate(fns):
            start = time.process_time()
            fn()
            samples[k].append(time.process_time() - start)
    return [statistics.median(s) for s in samples]


def per_call_ns(fns, items, number: int = 2000) -> list[float]:
    def loop(fn):
        def run():
            for _ in range(number):
                for s in items:
                    fn(s)
        return run

    return [t / (number * len(items)) * 1e9 for t in median_of([loop(fn) for fn in fns])]


LOAD_CHECK = """
import sys, time
if {pkg!r}:
    sys.path.insert(0, {pkg!r})
from kelrad import _core
start = time.perf_counter()
_core._transliterate_context("")
print(time.perf_counter() - start)
"""


SHORT = {
    "ascii": ["hello", "hello world", "The quick brown fox", "user_name-42"],
    "cyrillic": ["\u041c\u043e\u0441\u043a\u0432\u0430", "\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440",
                 "\u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451"],
}


def measure(big_load: bool = True) -> dict:
    """Every figure of this benchmark, in seconds: the first load of the
    100,000-entry dictionary, the 1 MiB text through both calls, the short
    strings through `_transliterate` and `_transliterate_entry`, and (with
    `big_load`) the median first load of the 1,000,000-entry one."""
    rng = random.Random(7)
    figures: dict = {}
    with tempfile.TemporaryDirectory() as tmp:
        keys, pairs, unigrams, bigrams = vocabulary(100_000, 100_000, rng)
        data = build_dictionary.encode(unigrams, bigrams)
        (pathlib.Path(tmp) / "arabic_dict.bin").write_bytes(data)
        os.environ["KELRAD_DICT_DIR"] = tmp
        text = make_text(keys, pairs, rng)
        start = time.perf_counter()
        _core._transliterate_context("", lang="ar")
        figures["load"] = time.perf_counter() - start
        figures["dictionary"] = (len(unigrams), len(bigrams), len(data))
        figures["megabytes"] = len(text.encode()) / 1e6
        figures["context"], figures["plain"] = median_of([lambda: _core._transliterate_context(text, lang="ar"),
                                                          lambda: _core._transliterate(text, lang="ar")])
        for name, items in SHORT.items():
            figures[name] = [t * 1e-9 for t in per_call_ns([_core._transliterate, _core._transliterate_entry],
                                                           items)]
        if big_load:
            keys, pairs, unigrams, bigrams = vocabulary(1_000_000, 1_000_000, rng)
            big = pathlib.Path(tmp) / "big"
            big.mkdir()
            (big / "arabic_dict.bin").write_bytes(build_dictionary.encode(unigrams, bigrams))
            figures["big size"] = (big / "arabic_dict.bin").stat().st_size
            env = {**os.environ, "KELRAD_DICT_DIR": str(big)}
            loads = [float(subprocess.run([sys.executable, "-c", LOAD_CHECK.format(pkg=PKG_PARENT)], env=env,
                                          capture_output=True, text=True, check=True).stdout) for _ in range(3)]
            figures["big load"] = statistics.median(loads)
    return figures


def main() -> None:
    f = measure()
    n_unigrams, n_bigrams, size = f["dictionary"]
    print(f"Python {sys.version.split()[0]}")
    print(f"\nDictionary: {n_unigrams:,} unigrams, {n_bigrams:,} bigrams, {size / 1e6:.1f} MB, "
          f"first load {f['load'] * 1e3:.0f} ms")
    print(f"1 MiB Arabic text, MB/s: context {f['megabytes'] / f['context']:.1f}, "
          f"plain {f['megabytes'] / f['plain']:.1f}, context/plain throughput {f['plain'] / f['context']:.3f}x")
    print("\nShort strings, ns per call")
    print(f"{'':<10} {'_transliterate':>15} {'_transliterate_entry':>21} {'ratio':>6}")
    for name in SHORT:
        plain, entry = f[name]
        print(f"{name:<10} {plain * 1e9:>15.0f} {entry * 1e9:>21.0f} {entry / plain:>6.2f}")
    print(f"\nFirst load of 1,000,000 + 1,000,000 entries ({f['big size'] / 1e6:.0f} MB): "
          f"{f['big load'] * 1e3:.0f} ms (median of 3 processes)")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py; the peers are the project's own calls.
    --quick leaves out the 1,000,000-entry load (its dictionary takes half a
    minute to generate)."""
    f = measure(big_load=not quick)
    section = "context transliteration (peer: kelrad)"
    out = [Row(section, "_transliterate_context, 1 MiB Arabic", "_transliterate", f["plain"], f["context"], 0.07,
               "ms", "reused")]
    for name in SHORT:
        plain, entry = f[name]
        out.append(Row(section, f"_transliterate_entry, short {name}", "_transliterate", plain, entry, 1 / 1.1, "ns",
                       "reused"))
    if not quick:
        out.append(Row(section, "first load, 1,000,000 + 1,000,000 entries", "-", 0.0, f["big load"], unit="ms",
                       ceiling=1.0))
    return out


if __name__ == "__main__":
    main()
