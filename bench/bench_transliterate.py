"""_transliterate against Unidecode and anyascii, the pure-Python
transliterators most used from PyPI.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_transliterate.py

Two measures per script sample:
per-call time on short strings (a list of words and phrases, the cost of one
call averaged over the list) and throughput on a 1 MiB text. Every figure is
the best of several runs, in processor time; the ratios are the peer's time
over kelrad's (above 1: kelrad is faster). The outputs differ in places (each library has its own
tables), so only kelrad's output is checked, for being ASCII.
"""

from __future__ import annotations

import sys
import time
from importlib.metadata import version

from anyascii import anyascii
from unidecode import unidecode

from interleaved import EIGHT_WORDS, Row, load_core, per_call, rows_for, whole

_core = load_core()

SAMPLES = {
    "latin": "Crème brûlée à la française; Straße über Brücken; Zażółć gęślą jaźń; Ångström. ",
    "cyrillic": "Съешь же ещё этих мягких французских булок, да выпей чаю. Москва, Київ. ",
    "greek": "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία. Οδός Αθηνών, Θεσσαλονίκη. ",
    "chinese": "北京是中华人民共和国的首都，也是全国的政治和文化中心。",
    "japanese": "日本語のテキストです。東京タワーとカタカナ、ひらがな。",
    "korean": "대한민국의 수도는 서울특별시입니다. 한국어 텍스트.",
    "devanagari": "नमस्ते दुनिया, हिन्दी भाषा में लिखा गया पाठ। क्षत्रिय ",
    "arabic": "مرحبا بالعالم، هذا نص باللغة العربية. ",
    "mixed": "Hello Мир 世界 Ωmega Straße 서울 नमस्ते مرحبا! ",
}

SHORT_ASCII = ["hello", "hello world", "The quick brown fox", "user_name-42", "a" * 40]


def make_text(sample: str, size: int = 1 << 20) -> str:
    data = (sample * (size // len(sample.encode()) + 1)).encode()[:size]
    return data.decode("utf-8", errors="ignore")


def short_strings(sample: str) -> list[str]:
    words = [w for w in sample.replace(",", " ").replace(".", " ").split() if w]
    phrases = [" ".join(words[i:i + 3]) for i in range(0, len(words), 3)]
    return words + phrases


def best_of(fns, numbers, rounds: int = 9) -> list[float]:
    """Seconds per call of each function, the best of several rounds.

    The functions take turns within each round, so that a slow spell of a
    shared machine falls on all of them alike; the time is this process's
    processor time, which leaves out the time it waits for a CPU.
    """
    times = [float("inf")] * len(fns)
    for _ in range(rounds):
        for k, (fn, number) in enumerate(zip(fns, numbers)):
            start = time.process_time()
            for _ in range(number):
                fn()
            times[k] = min(times[k], (time.process_time() - start) / number)
    return times


def per_call_all(fns, items: list[str], number: int) -> list[float]:
    def loop(fn):
        def run():
            for s in items:
                fn(s)
        return run

    return [t / len(items) for t in best_of([loop(fn) for fn in fns], [number] * len(fns))]


def main() -> None:
    translit = _core._transliterate
    print(f"Python {sys.version.split()[0]}; unidecode {version('unidecode')}, anyascii {version('anyascii')}")

    peers = [translit, unidecode, anyascii]
    print("\nShort ASCII strings, ns per call (returned as is)")
    print(f"{'':<12} {'kelrad':>8} {'unidecode':>10} {'anyascii':>9}")
    k, u, a = per_call_all(peers, SHORT_ASCII, 20000)
    print(f"{'ascii':<12} {k * 1e9:>8.0f} {u * 1e9:>10.0f} {a * 1e9:>9.0f}")

    print("\nShort non-ASCII strings (words and three-word phrases), ns per call")
    print(f"{'script':<12} {'kelrad':>8} {'unidecode':>10} {'anyascii':>9} {'vs unidecode':>13} {'vs anyascii':>12}")
    for name, sample in SAMPLES.items():
        items = short_strings(sample)
        assert all(translit(s).isascii() for s in items)
        k, u, a = per_call_all(peers, items, 1000)
        print(f"{name:<12} {k * 1e9:>8.0f} {u * 1e9:>10.0f} {a * 1e9:>9.0f} {u / k:>13.1f} {a / k:>12.1f}")

    print("\n1 MiB texts, MB/s of UTF-8 input ('all': every sample in turn)")
    print(f"{'script':<12} {'kelrad':>8} {'unidecode':>10} {'anyascii':>9} {'vs unidecode':>13} {'vs anyascii':>12}")
    for name, sample in {**SAMPLES, "all": "".join(SAMPLES.values())}.items():
        text = make_text(sample)
        mb = len(text.encode()) / 1e6
        assert translit(text).isascii()
        k, u, a = best_of([lambda: translit(text), lambda: unidecode(text), lambda: anyascii(text)], [10, 1, 1])
        print(f"{name:<12} {mb / k:>8.1f} {mb / u:>10.1f} {mb / a:>9.1f} {u / k:>13.1f} {a / k:>12.1f}")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: 1 MiB of every sample in turn, short
    words, and short ASCII strings, which come back as they are."""
    rounds = 2 if quick else 5
    text = make_text("".join(SAMPLES.values()))
    out: list[Row] = []
    for peer, fn, target in (("unidecode", unidecode, 20.0), ("anyascii", anyascii, None)):
        out += rows_for("1 MiB text", "_transliterate, eight scripts", peer, target, "ms",
                        lambda f, p=fn: whole(_core._transliterate, p, text, fresh_str=f, rounds=rounds))
    namespace = {"_core": _core, "unidecode": unidecode, "anyascii": anyascii}
    for peer in ("unidecode", "anyascii"):
        out += rows_for("short words, per call", "_transliterate", peer, None, "ns",
                        lambda f, p=peer: per_call("_core._transliterate(s)", f"{p}(s)", namespace, EIGHT_WORDS,
                                                   fresh_str=f, repeat=500, rounds=rounds))
    ours, theirs = per_call("_core._transliterate(s)", "unidecode(s)", namespace, SHORT_ASCII, fresh_str=False,
                            repeat=2000, rounds=rounds)
    out.append(Row("short ASCII strings, per call", "_transliterate", "unidecode", theirs, ours, unit="ns",
                   str_objects="reused", ceiling=150e-9))
    return out


if __name__ == "__main__":
    main()
