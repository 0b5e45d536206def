"""Slugs against python-slugify (text-unidecode backend), with default options.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_slugify.py

Prints the best time of each side over interleaved rounds and the ratio
(python-slugify time / kelrad time: above 1 means kelrad is faster) for
  - 400 short titles in eight scripts, character references included;
  - 64 KiB texts, one per script;
  - one short ASCII title, per call;
and, for the batch call, eight threads each slugifying the titles with
`_slugify_batch` against eight threads each running `[_slugify(t) for t in titles]`.
"""

from __future__ import annotations

import os
import sys
import threading
import time
from importlib.metadata import version

from slugify import slugify as peer_slugify

from interleaved import EIGHT_WORDS, MIB, Row, best_rounds, load_core, per_call, rows_for, whole

_core = load_core()

KIB = 1 << 10

TITLES = {
    "English": ["Fish &amp; Chips: A History", "Ten Things You Didn't Know About Rust", "Q&amp;A with the Team",
                "Why &quot;Simple&quot; Is Hard", "Release Notes for v2.5.1"],
    "French": ["L'été à la mer &amp; les châteaux", "Où est passée la clé ?", "Crème brûlée façon grand-mère",
               "Les élèves &amp; leurs professeurs", "Ça ne fait rien, c'est déjà l'heure"],
    "German": ["Grüße aus Köln &amp; Düsseldorf", "Straße der Einheit", "Übermäßige Größe", "Fußball: Die Bälle",
               "Äpfel, Birnen &amp; Öl"],
    "Russian": ["Привет, мир &amp; друзья", "Съешь же ещё этих булок", "Новости недели", "Всё о погоде",
                "Москва &#8212; столица"],
    "Greek": ["Καλημέρα κόσμε", "Η ιστορία της Αθήνας", "Νέα &amp; ανακοινώσεις", "Ελληνική κουζίνα",
              "Ο καιρός σήμερα"],
    "Chinese": ["北京欢迎你", "今天天气很好", "中文&amp;英文", "城市的历史", "新闻&#12289;公告"],
    "Japanese": ["東京タワーへようこそ", "ひらがなとカタカナ", "日本語&amp;英語", "今日のニュース", "さくら"],
    "Arabic": ["مرحبا بالعالم", "أخبار اليوم &amp; الغد", "تاريخ المدينة", "المطبخ العربي", "الطقس اليوم"],
}

SAMPLES = {
    "English": "The quick brown fox jumps over the lazy dog &amp; the committee reviews its report. ",
    "French": "L'été dernier, nous sommes allés à la mer ; les enfants ont bâti des châteaux. ",
    "German": "Über den Wolken muss die Freiheit wohl grenzenlos sein, sagte der Fußballspieler. ",
    "Russian": "Съешь же ещё этих мягких французских булок да выпей чаю &amp; кофе. ",
    "Greek": "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία, είπε ο γέρος στην αγορά. ",
    "Chinese": "我们昨天在公园里散步，天气非常好。孩子们在草地上玩耍。",
    "Japanese": "いろはにほへと ちりぬるを わかよたれそ つねならむ。東京は晴れです。",
    "Arabic": "نص حكيم له سر قاطع وذو شأن عظيم مكتوب على ثوب أخضر. ",
}


def peer(text: str) -> str:
    return peer_slugify(text, backend="text-unidecode")


def make_text(sample: str, size: int) -> str:
    per = len(sample.encode("utf-8"))
    return sample * (size // per)


def interleaved(ours, theirs, rounds: int) -> tuple[float, float]:
    """Best times of the two callables, run in alternation."""
    a, b = [], []
    for _ in range(rounds):
        t0 = time.perf_counter()
        ours()
        a.append(time.perf_counter() - t0)
        t0 = time.perf_counter()
        theirs()
        b.append(time.perf_counter() - t0)
    return min(a), min(b)


def row(label: str, ours: float, theirs: float, unit: float = 1e3, name: str = "ms") -> float:
    print(f"  {label:<34} kelrad {ours * unit:10.3f} {name}   python-slugify {theirs * unit:10.3f} {name}"
          f"   x{theirs / ours:8.2f}")
    return theirs / ours


def threads_wall(work, n: int = 8) -> float:
    """Wall time of n threads each running `work` once, started together."""
    barrier = threading.Barrier(n + 1)

    def run():
        barrier.wait()
        work()

    threads = [threading.Thread(target=run) for _ in range(n)]
    for t in threads:
        t.start()
    barrier.wait()
    t0 = time.perf_counter()
    for t in threads:
        t.join()
    return time.perf_counter() - t0


def main() -> None:
    print(f"CPython {sys.version.split()[0]}; python-slugify {version('python-slugify')}, "
          f"text-unidecode {version('text-unidecode')} (backend='text-unidecode')")
    print("ratio = python-slugify time / kelrad time (above 1: kelrad faster)")
    titles = [t for group in TITLES.values() for t in group] * 10
    assert len(titles) == 400
    ours, theirs = interleaved(lambda: [_core._slugify(t) for t in titles], lambda: [peer(t) for t in titles], 30)
    titles_ratio = row("400 titles, eight scripts", ours, theirs)

    print("64 KiB texts:")
    big_ratios = []
    for name, sample in SAMPLES.items():
        text = make_text(sample, 64 * KIB)
        ours, theirs = interleaved(lambda: _core._slugify(text), lambda: peer(text), 7)
        big_ratios.append(row(name, ours, theirs))

    short = "Hello World: A Short Title"
    calls = 200_000
    slug = _core._slugify

    def ours_short():
        for _ in range(calls):
            slug(short)

    def theirs_short():
        for _ in range(calls // 50):
            peer(short)

    ours, theirs = interleaved(ours_short, theirs_short, 5)
    per_call_ours, per_call_theirs = ours / calls, theirs / (calls // 50)
    row("short ASCII title, per call", per_call_ours, per_call_theirs, 1e9, "ns")

    print("Eight threads over the 400 titles x 25:")
    items = titles * 25
    batch_wall, single_wall = interleaved(lambda: threads_wall(lambda: _core._slugify_batch(items)),
                                          lambda: threads_wall(lambda: [slug(t) for t in items]), 5)
    print(f"  _slugify_batch {batch_wall * 1e3:8.2f} ms   [_slugify(t) ...] {single_wall * 1e3:8.2f} ms"
          f"   x{single_wall / batch_wall:6.2f}  ({os.cpu_count()} cores)")

    print("\nTargets:")
    print(f"  titles >= 10x: x{titles_ratio:.1f}; 64 KiB texts >= 10x: least x{min(big_ratios):.1f}; "
          f"short ASCII < 400 ns: {per_call_ours * 1e9:.0f} ns; batch in 8 threads >= 3x: "
          f"x{single_wall / batch_wall:.2f}")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: 1 MiB of every sample in turn, the 400
    titles, short words, a short ASCII title and the batch in eight threads."""
    rounds = 2 if quick else 5
    out: list[Row] = []
    text = make_text("".join(SAMPLES.values()), MIB)
    out += rows_for("1 MiB text", "_slugify, eight scripts", "python-slugify", 10.0, "ms",
                    lambda f: whole(_core._slugify, peer, text, fresh_str=f, rounds=rounds, budget=10))
    titles = [t for group in TITLES.values() for t in group] * 10
    namespace = {"_core": _core, "peer": peer}
    out += rows_for("titles, per call", "_slugify, 400 titles in eight scripts", "python-slugify", 10.0, "ns",
                    lambda f: per_call("_core._slugify(s)", "peer(s)", namespace, titles, fresh_str=f,
                                       rounds=rounds))
    out += rows_for("short words, per call", "_slugify", "python-slugify", None, "ns",
                    lambda f: per_call("_core._slugify(s)", "peer(s)", namespace, EIGHT_WORDS, fresh_str=f,
                                       repeat=50, rounds=rounds))
    ours, theirs = per_call("_core._slugify(s)", "peer(s)", namespace, ["Hello World: A Short Title"],
                            fresh_str=False, repeat=2000, rounds=rounds)
    out.append(Row("short ASCII strings, per call", "_slugify, a short title", "python-slugify", theirs, ours,
                   unit="ns", str_objects="reused", ceiling=400e-9))
    items = titles * 25
    batch, single = best_rounds([lambda: threads_wall(lambda: _core._slugify_batch(items)),
                                 lambda: threads_wall(lambda: [_core._slugify(t) for t in items])], rounds)
    out.append(Row("threads", "_slugify_batch, 8 threads x 10,000 titles", "[_slugify(t) for t in ...]",
                   single, batch, 3.0, "ms"))
    return out


if __name__ == "__main__":
    main()
