"""Encoding detection against charset-normalizer and chardet, decoding against bytes.decode.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_encoding.py

Nine encodings of running text. Detection: `_detect_encoding(b)` against
`charset_normalizer.from_bytes(b).best()` and `chardet.detect(b)` on 4 KiB,
64 KiB and 1 MiB (kelrad reads the whole input; the peers sample it).
Decoding: `_decode_to_utf8(b, label)` against `b.decode(codec, "replace")` on
1 MiB, with the outputs checked equal. Each row takes the best of interleaved
rounds (kelrad, then the peers, in turn); ratio = peer time / kelrad time,
above 1 means kelrad is faster.
"""

from __future__ import annotations

import math
import sys
import time

import chardet
import charset_normalizer

from interleaved import Row, load_core

_core = load_core()

KIB, MIB = 1 << 10, 1 << 20

TEXTS = {
    "ru": "Съешь же ещё этих мягких французских булок да выпей чаю. Вчера вечером мы долго гуляли по набережной, "
          "обсуждая планы на лето и новую работу; всё казалось возможным, и никто не торопился домой.\n",
    "fr": "L'été dernier, nous sommes allés à la mer ; les enfants ont bâti des châteaux de sable près du phare. "
          "Où est passée la clé ? Ça ne fait rien, répondit-elle en riant, c'est déjà l'heure du goûter.\n",
    "el": "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία. Χθες το βράδυ περπατήσαμε πολύ δίπλα στη θάλασσα και μιλήσαμε "
          "για τα σχέδια του καλοκαιριού, για τη νέα δουλειά και για τους φίλους μας.\n",
    "ja": "日本語のテキストです。今日は良い天気ですね。昨日の夜、私たちは海辺を長い間散歩して、夏の計画について"
          "話しました。子供たちは砂浜で遊び、お年寄りはベンチに座っておしゃべりをしていました。\n",
    "zh": "我们昨天在公园里散步，天气非常好。孩子们在草地上玩耍，老人们坐在长椅上聊天。这座城市的历史悠久，"
          "每一条街道都有自己的故事。\n",
    "tw": "我們昨天在公園裡散步，天氣非常好。孩子們在草地上玩耍，老人們坐在長椅上聊天。這座城市的歷史悠久，"
          "每一條街道都有自己的故事。\n",
    "ko": "안녕하세요 오늘 날씨가 좋네요. 우리는 어제 공원에서 산책을 했습니다. 아이들은 잔디밭에서 놀고 "
          "노인들은 벤치에 앉아 이야기를 나눴습니다.\n",
}

# (WHATWG name, Python codec, text)
CASES = [
    ("windows-1251", "cp1251", "ru"), ("windows-1252", "cp1252", "fr"), ("windows-1253", "cp1253", "el"),
    ("KOI8-R", "koi8_r", "ru"), ("Shift_JIS", "cp932", "ja"), ("gb18030", "gb18030", "zh"),
    ("Big5", "big5", "tw"), ("EUC-KR", "cp949", "ko"), ("UTF-8", "utf-8", "ru"),
]


def sample(text: str, codec: str, size: int) -> bytes:
    """`size` bytes of the text repeated, cut at a character boundary."""
    data = text.encode(codec) * (size // len(text.encode(codec)) + 1)
    cut = len(data[:size].decode(codec, "ignore").encode(codec))
    return data[:cut]


def best_of(functions, arg, rounds: int) -> list[float]:
    """Best time of each function over interleaved rounds."""
    times = [math.inf] * len(functions)
    for _ in range(rounds):
        for k, fn in enumerate(functions):
            t0 = time.perf_counter()
            fn(arg)
            times[k] = min(times[k], time.perf_counter() - t0)
    return times


def geomean(xs: list[float]) -> float:
    return math.exp(sum(map(math.log, xs)) / len(xs))


def ms(t: float) -> str:
    return f"{t * 1e3:9.3f} ms"


def detection() -> None:
    peers = [lambda b: charset_normalizer.from_bytes(b).best(), chardet.detect]
    for size, rounds in ((4 * KIB, 15), (64 * KIB, 5), (MIB, 3)):
        print(f"\nDetection, {size // KIB} KiB (kelrad, charset-normalizer, chardet; ratio = peer / kelrad)")
        ratios: list[list[float]] = [[], []]
        for name, codec, lang in CASES:
            data = sample(TEXTS[lang], codec, size)
            ours, normalizer, chardet_t = best_of([_core._detect_encoding, *peers], data, rounds)
            guess = _core._detect_encoding(data)[0]
            ratios[0].append(normalizer / ours)
            ratios[1].append(chardet_t / ours)
            print(f"  {name:<13} {guess:<13} {ms(ours)} {ms(normalizer)} x{normalizer / ours:7.2f} "
                  f"{ms(chardet_t)} x{chardet_t / ours:7.2f}")
        print(f"  geometric mean: x{geomean(ratios[0]):.2f} against charset-normalizer, "
              f"x{geomean(ratios[1]):.2f} against chardet")


def validation() -> None:
    print("\nInputs that never reach uchardet, 1 MiB (detection throughput)")
    for label, data in [("ASCII", sample("The quick brown fox jumps over the lazy dog. ", "ascii", MIB)),
                        ("UTF-8 Russian", sample(TEXTS["ru"], "utf-8", MIB)),
                        ("UTF-8 Chinese", sample(TEXTS["zh"], "utf-8", MIB))]:
            (t,) = best_of([_core._detect_encoding], data, 20)
            print(f"  {label:<14} {ms(t)}  {len(data) / t / 1e9:6.2f} GB/s")


def decoding() -> None:
    print("\nDecoding, 1 MiB (kelrad, bytes.decode(codec, 'replace'); ratio = CPython / kelrad)")
    ratios = []
    for name, codec, lang in CASES:
        data = sample(TEXTS[lang], codec, MIB)
        ours_result = _core._decode_to_utf8(data, name)
        assert ours_result == (data.decode(codec, "replace"), False), name
        ours, theirs = best_of([lambda b: _core._decode_to_utf8(b, name), lambda b: b.decode(codec, "replace")],
                               data, 15)
        ratios.append(theirs / ours)
        print(f"  {name:<13} {codec:<8} {ms(ours)} {ms(theirs)} x{theirs / ours:6.2f}")
    print(f"  geometric mean: x{geomean(ratios):.2f}")


def main() -> None:
    print(f"CPython {sys.version.split()[0]}, charset-normalizer {charset_normalizer.__version__}, "
          f"chardet {chardet.__version__}")
    detection()
    validation()
    decoding()


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: detection at 4 KiB (the target is on the
    geometric mean against charset-normalizer), at 1 MiB, validation of
    ASCII and UTF-8, and decoding at 1 MiB (on the geometric mean too)."""
    rounds = 5 if quick else 15
    out: list[Row] = []
    peers = {"charset-normalizer": lambda b: charset_normalizer.from_bytes(b).best(), "chardet": chardet.detect}
    for size, label in ((4 * KIB, "4 KiB"), (MIB, "1 MiB")):
        times = [best_of([_core._detect_encoding, *peers.values()], sample(TEXTS[lang], codec, size),
                         rounds if size < MIB else 2) for _, codec, lang in CASES]
        for k, peer in enumerate(peers, start=1):
            ours = math.prod(t[0] for t in times) ** (1 / len(times))
            theirs = math.prod(t[k] for t in times) ** (1 / len(times))
            target = 4.0 if (size, peer) == (4 * KIB, "charset-normalizer") else None
            out.append(Row("bytes", f"_detect_encoding, 9 encodings, {label}, geo. mean", peer, theirs, ours,
                           target, "ms"))
    for label, data in (("ASCII", sample("The quick brown fox jumps over the lazy dog. ", "ascii", MIB)),
                        ("UTF-8 Russian", sample(TEXTS["ru"], "utf-8", MIB))):
        (t,) = best_of([_core._detect_encoding], data, rounds)
        out.append(Row("bytes", f"_detect_encoding, 1 MiB {label}, 2 GB/s", "-", 0.0, t, unit="ms",
                       ceiling=len(data) / 2e9))
    times = []
    for name, codec, lang in CASES:
        data = sample(TEXTS[lang], codec, MIB)
        times.append(best_of([lambda b: _core._decode_to_utf8(b, name), lambda b: b.decode(codec, "replace")],
                             data, rounds))
    out.append(Row("bytes", "_decode_to_utf8, 9 encodings, 1 MiB, geo. mean", "bytes.decode",
                   math.prod(t[1] for t in times) ** (1 / len(times)),
                   math.prod(t[0] for t in times) ** (1 / len(times)), 1.0, "ms"))
    return out


if __name__ == "__main__":
    main()
