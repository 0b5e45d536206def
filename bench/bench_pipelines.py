"""The profile ml_corpus_normalize against the preset _ml_normalize, which runs the same operations once.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/bench_pipelines.py

No published library builds such pipelines; the yardstick is the preset. The profile runs to a fixed point, so it
always makes a confirming pass over its own output; the one-pass pipeline built from the same options shows what
that pass costs. Prints the best time of each over interleaved rounds and the ratio to the preset (below 1.2 is the
target for the profile), on 1 MiB of mixed text (accented Latin with capitals, emoji, runs of whitespace,
zero-width characters) and on 10,000 short strings of the same kind. The outputs are checked to agree first.
Every call gets a fresh str object (bench/interleaved.py), so each pays for the UTF-8 form of its input.
"""

from __future__ import annotations

import random

from interleaved import Row, load_core, per_call, rows_for, timed, whole

_core = load_core()

MIB = 1 << 20

WORDS = ["The", "café", "Crème", "brûlée", "Zoë", "naïve", "ÉCOLE", "Ångström", "Straße", "Øresund", "piñata",
         "Dvořák", "Łódź", "señor", "Fjörd", "garçon", "résumé", "ITALIANO", "über", "Müller", "quick", "brown",
         "fox", "jumps", "over", "lazy", "dog", "😀", "👍🏽", "❤️", "🇫🇷", "🎉"]
GAPS = [" ", " ", " ", " ", "  ", "\t", " \n ", "\u00a0", "\u200b", " \u200d"]


def make_text(rng: random.Random, n_words: int) -> str:
    parts = []
    for _ in range(n_words):
        parts.append(rng.choice(WORDS))
        parts.append(rng.choice(GAPS))
    return "".join(parts)


def corpus() -> tuple[str, list[str]]:
    rng = random.Random(16)
    big = make_text(rng, 200_000)
    big = big[: len(big) * MIB // len(big.encode())]
    short = [make_text(rng, rng.randrange(2, 9)) for _ in range(10_000)]
    return big, short


def contenders() -> dict:
    profile = _core._get_pipeline("ml_corpus_normalize")
    one_pass = _core._TextPipeline(normalize="NFKC", strip_accents=True, fold_case=True, collapse_whitespace=True,
                                   demojize=True, strip_pua=True, strip_plane14=True)
    return {"preset _ml_normalize": _core._ml_normalize, "profile ml_corpus_normalize": profile.process,
            "one-pass pipeline": one_pass.process}


def main() -> None:
    big, short = corpus()
    contenders = globals()["contenders"]()

    for text in [big, *short]:
        outputs = {name: fn(text) for name, fn in contenders.items()}
        assert len(set(outputs.values())) == 1, (text, outputs)

    print(f"1 MiB text: {len(big)} characters, {len(big.encode())} bytes; "
          f"10,000 short strings, {sum(len(s.encode()) for s in short)} bytes in all")
    times: dict[tuple[str, str], float] = {}
    for _ in range(15):  # interleaved: every contender once per round
        for name, fn in contenders.items():
            for corpus_name, items in (("1 MiB", [big]), ("10,000 short", short)):
                t = timed(fn, items)
                times[(corpus_name, name)] = min(t, times.get((corpus_name, name), t))

    for corpus_name in ("1 MiB", "10,000 short"):
        base = times[(corpus_name, "preset _ml_normalize")]
        print(f"{corpus_name}:")
        for name in contenders:
            t = times[(corpus_name, name)]
            print(f"  {name:<30} {t * 1e3:9.3f} ms   x{t / base:5.2f} of the preset")


def rows(quick: bool = False) -> list[Row]:
    """The rows of bench/compare.py: the profile and the one-pass pipeline
    against the preset (the target: the profile within 1.2x of its time)."""
    rounds = 3 if quick else 9
    big, short = corpus()
    fns = contenders()
    preset = fns.pop("preset _ml_normalize")
    namespace = {"preset": preset, **{f"fn{k}": fn for k, fn in enumerate(fns.values())}}
    out: list[Row] = []
    for k, name in enumerate(fns):
        target = 1 / 1.2 if name.startswith("profile") else None
        out += rows_for("pipelines", f"{name}, 1 MiB", "preset _ml_normalize", target, "ms",
                        lambda f, fn=fns[name]: whole(fn, preset, big, fresh_str=f, rounds=rounds))
        out += rows_for("pipelines", f"{name}, 10,000 short", "preset _ml_normalize", target, "ns",
                        lambda f, k=k: per_call(f"fn{k}(s)", "preset(s)", namespace, short, fresh_str=f,
                                                rounds=rounds))
    return out


if __name__ == "__main__":
    main()
