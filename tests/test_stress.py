"""Threads: every batch function, every method of the classes that keep state and every setter of
process-wide state, run from 8 threads at once for a bounded time.

Readers compare each result with the one computed single-threaded beforehand: the setters change only
state that the readers' texts and options never consult (language codes and replacement keys of their
own), so the results must not change. The setters check their own effects against the states they may
observe. The run ends by sealing the registries while the threads go on, in the same worker process, so
the sealed state never reaches the test process. A watchdog fails the run when a thread does not finish.

Environment: KELRAD_STRESS_SECONDS (the threaded phase, default 8).
"""

from __future__ import annotations

import dataclasses
import faulthandler
import os
import pathlib
import random
import subprocess
import sys
import threading
import time
from collections.abc import Callable

HERE = pathlib.Path(__file__).resolve().parent

import pytest  # noqa: E402

from kelrad import _core  # noqa: E402
from hostile_input import Draw  # noqa: E402

THREADS = 8
UnsupportedError = _core.UnsupportedError

# The setters' own keys: private-use characters and language codes that no reader text or option holds.
LANG_KEY, REPLACEMENT_KEY = "\ue000", "\ue001"
STRESS_LANGS = [f"zzstress{i}" for i in range(6)]


def reader_texts(seed: int, count: int) -> list[str]:
    """Hostile texts without private-use characters (the setters' keys) or surrogates."""
    d = Draw(seed)
    texts = []
    for _ in range(count):
        text = d.text(300, surrogates=0)
        texts.append("".join(c for c in text if not (0xE000 <= ord(c) <= 0xF8FF or ord(c) >= 0xF0000)))
    return texts


@dataclasses.dataclass
class Job:
    """One step of work that a thread repeats; `step` raises AssertionError on a wrong result."""
    covers: tuple[str, ...]  # the exported callables it exercises
    step: Callable[[random.Random], None]
    weight: int = 1


class Failures:
    def __init__(self) -> None:
        self.lock = threading.Lock()
        self.items: list[str] = []

    def add(self, text: str) -> None:
        with self.lock:
            if len(self.items) < 20:
                self.items.append(text)


# Worker state: threads that run beside the jobs, checks made once the jobs have stopped, and whether the
# registries have been sealed.
BACKGROUND: list[tuple[threading.Thread, threading.Event]] = []
FINAL_CHECKS: list[Callable[[], None]] = []
SEALED = threading.Event()


def present(name: str) -> bool:
    return name.split(".")[0] in _core.__all__


# ---- readers ----------------------------------------------------------------------------------------------

def batch_job(name: str, single: str, options_list: list[dict], texts: list[str]) -> Job:
    """A batch over a fixed list, with one of several option sets, against single-threaded results."""
    batch = getattr(_core, name)
    expected = [batch(texts, **options) for options in options_list]
    assert all(e == [getattr(_core, single)(t, **o) for t in texts] for e, o in zip(expected, options_list))

    def step(rng: random.Random) -> None:
        k = rng.randrange(len(options_list))
        assert batch(texts, **options_list[k]) == expected[k], f"{name}(**{options_list[k]}) changed"
    return Job((name,), step, weight=3)


def mutated_list_job(texts: list[str]) -> Job:
    """`_transliterate_batch` over a list whose items another thread keeps swapping: each result is that of
    one of the two texts its slot holds in turn (the batch works on a snapshot)."""
    pairs = list(zip(texts[::2], texts[1::2]))
    shared = [a for a, _ in pairs]
    outcomes = [{_core._transliterate(a), _core._transliterate(b)} for a, b in pairs]
    stop = threading.Event()

    def mutate() -> None:
        rng = random.Random(1)
        while not stop.is_set():
            i = rng.randrange(len(pairs))
            shared[i] = pairs[i][rng.random() < 0.5]

    mutator = threading.Thread(target=mutate, daemon=True)
    BACKGROUND.append((mutator, stop))

    def step(rng: random.Random) -> None:
        result = _core._transliterate_batch(shared)
        assert len(result) == len(pairs) and all(r in o for r, o in zip(result, outcomes)), "snapshot torn"
    return Job(("_transliterate_batch",), step)


SLUG_PATTERNS = [rf"[^a-z{chr(0x61 + i % 26)}]+" if i % 2 else rf"\d{{{i % 5 + 1}}}" for i in range(40)]


def slug_cache_job(texts: list[str]) -> Job:
    """More distinct slug patterns than the regex cache holds, from every thread: the cache keeps emptying."""
    expected = {p: [_core._slugify(t, regex_pattern=p) for t in texts[:20]] for p in SLUG_PATTERNS}

    def step(rng: random.Random) -> None:
        p = rng.choice(SLUG_PATTERNS)
        assert _core._slugify_batch(texts[:20], regex_pattern=p) == expected[p], f"pattern {p!r}"
    return Job(("_slugify_batch",), step)


def unique_job(texts: list[str]) -> list[Job]:
    """One `_UniqueSlugifier` shared by every thread: no slug is issued twice. A second one has a `check`
    that lets other threads in while it runs: they are refused with RuntimeError, and its slugs stay unique
    too. A third is reset by some threads while others use it."""
    plain = _core._UniqueSlugifier()
    checked = _core._UniqueSlugifier(check=lambda c: time.sleep(0) or False)
    resettable = _core._UniqueSlugifier(max_length=12)
    words = [t for t in texts if _core._slugify(t)][:30] or ["word"]
    issued: dict[int, list[str]] = {id(plain): [], id(checked): []}
    lock = threading.Lock()

    def use(obj: object) -> Callable[[random.Random], None]:
        def step(rng: random.Random) -> None:
            try:
                slug = obj.slugify(rng.choice(words))
            except RuntimeError as exc:
                assert obj is checked and str(exc) == "Already borrowed", repr(exc)
                return
            except _core.ResourceLimitError:
                return  # 10001 slugs issued for one base
            with lock:
                issued[id(obj)].append(slug)
        return step

    def reset_or_use(rng: random.Random) -> None:
        try:
            if rng.random() < 0.1:
                assert resettable.reset() is None
            else:
                assert isinstance(resettable.slugify(rng.choice(words)), str)
        except (_core.ResourceLimitError, _core.InvalidArgumentError):
            pass  # the counter of one base outgrew max_length or the attempts before a reset

    def final_check() -> None:
        for slugs in issued.values():
            assert len(slugs) == len(set(slugs)), "a unique slugifier issued a slug twice"
    FINAL_CHECKS.append(final_check)
    return [Job(("_UniqueSlugifier.slugify",), use(plain)), Job(("_UniqueSlugifier.slugify",), use(checked)),
            Job(("_UniqueSlugifier.slugify", "_UniqueSlugifier.reset"), reset_or_use)]


def slugifier_job(texts: list[str]) -> Job:
    shared = _core._Slugifier(separator="_", stopwords=["the", "a"], lang="de")
    expected = [shared.slugify(t) for t in texts]

    def step(rng: random.Random) -> None:
        i = rng.randrange(len(texts))
        assert shared.slugify(texts[i]) == expected[i]
    return Job(("_Slugifier.slugify",), step)


# ---- setters ----------------------------------------------------------------------------------------------

def setter_jobs() -> list[Job]:
    """Registration from every thread, and readers that see one of the states a setter leaves."""
    untouched = _core._transliterate(REPLACEMENT_KEY)
    for code in STRESS_LANGS:
        _core._register_lang(code, {LANG_KEY: "x"})

    def register_lang(rng: random.Random) -> None:
        sealed(lambda: _core._register_lang(rng.choice(STRESS_LANGS), {LANG_KEY: rng.choice("xz")}))
        assert _core._transliterate(LANG_KEY, lang=rng.choice(STRESS_LANGS)) in ("x", "z")
        assert set(STRESS_LANGS) <= set(_core._list_langs())

    def replacements(rng: random.Random) -> None:
        r = rng.random()
        if r < 0.4:
            sealed(lambda: _core._register_replacements({REPLACEMENT_KEY: "y"}))
        elif r < 0.7:
            sealed(lambda: _core._remove_replacement(REPLACEMENT_KEY))
        elif r < 0.8:
            sealed(_core._clear_replacements)
        assert _core._transliterate(REPLACEMENT_KEY) in ("y", untouched)
        assert all(r in ("y", untouched) for r in _core._transliterate_batch([REPLACEMENT_KEY] * 100))

    jobs = [Job(("_register_lang", "_list_langs"), register_lang, 2),
            Job(("_register_replacements", "_remove_replacement", "_clear_replacements"), replacements, 2)]

    if present("_set_transliterate_fallback"):
        class Sub(str):
            pass

        def fallback(rng: random.Random) -> None:
            tag = rng.choice("ab")
            _core._set_transliterate_fallback(lambda text, **kw: tag)
            assert _core._transliterate_entry(Sub("x")) in ("a", "b")
        jobs.append(Job(("_set_transliterate_fallback", "_transliterate_entry"), fallback))

    if present("_set_emoji_provider"):
        def provider(rng: random.Random) -> None:
            sealed(lambda: _core._set_emoji_provider(rng.choice([None, lambda e: "name"])))
        jobs.append(Job(("_set_emoji_provider",), provider))
    return jobs


def sealed(call: Callable[[], object]) -> None:
    """Runs a registration; after the seal only its UnsupportedError is allowed."""
    try:
        call()
    except UnsupportedError:
        assert SEALED.is_set(), "a registration was refused before the seal"


# ---- classes and functions of the modules still to come (rows activate once exported) ------------------

def pipeline_job(texts: list[str]) -> Job:
    profiles = _core._list_profiles()
    shared = [_core._get_pipeline(p) for p in profiles]
    expected = [[p.process(t) for t in texts[:30]] for p in shared]
    described = [(p.steps(), p.purpose(), repr(p)) for p in shared]

    def step(rng: random.Random) -> None:
        k = rng.randrange(len(shared))
        assert [shared[k].process(t) for t in texts[:30]] == expected[k]
        assert (shared[k].steps(), shared[k].purpose(), repr(shared[k])) == described[k]
    return Job(("_TextPipeline.process", "_TextPipeline.steps", "_TextPipeline.purpose", "_get_pipeline"), step)


def lexicon_job(texts: list[str]) -> Job:
    lexicon = _core.Lexicon([t for t in texts[:50] if t])
    expected = [(_core._has_anomalies_lex(t, lexicon), repr(_core._inspect_anomalies_lex(t, lexicon)))
                for t in texts[:30]]

    def step(rng: random.Random) -> None:
        i = rng.randrange(30)
        assert (_core._has_anomalies_lex(texts[i], lexicon), repr(_core._inspect_anomalies_lex(texts[i], lexicon))
                ) == expected[i]
        assert len(lexicon) >= 0
    return Job(("_has_anomalies_lex", "_inspect_anomalies_lex", "Lexicon"), step)


# ---- the table --------------------------------------------------------------------------------------------

@dataclasses.dataclass(frozen=True)
class Entry:
    covers: tuple[str, ...]  # the exported callables that its jobs exercise
    make: Callable[[list[str]], list[Job]]  # called in the worker only: it may register state


def batch(name: str, single: str, *options: dict) -> Entry:
    return Entry((name,), lambda texts: [batch_job(name, single, list(options), texts)])


TABLE = [
    batch("_transliterate_batch", "_transliterate", {}, {"lang": "de"}, {"lang": "auto"}, {"errors": "ignore"},
          {"tones": True}),
    batch("_strip_accents_batch", "_strip_accents", {}),
    batch("_slugify_batch", "_slugify", {}, {"allow_unicode": True}, {"max_length": 20},
          {"regex_pattern": r"\d+", "lang": "ru"}),
    batch("_normalize_batch", "_normalize", *({"form": f} for f in ("NFC", "NFD", "NFKC", "NFKD"))),
    Entry(("_transliterate_batch",), lambda texts: [mutated_list_job(texts)]),
    Entry(("_slugify_batch",), lambda texts: [slug_cache_job(texts)]),
    Entry(("_Slugifier.slugify",), lambda texts: [slugifier_job(texts)]),
    Entry(("_UniqueSlugifier.slugify", "_UniqueSlugifier.reset"), unique_job),
    Entry(("_register_lang", "_list_langs", "_register_replacements", "_remove_replacement", "_clear_replacements",
           "_set_transliterate_fallback", "_transliterate_entry", "_set_emoji_provider"),
          lambda texts: setter_jobs()),
    Entry(("_TextPipeline.process", "_TextPipeline.steps", "_TextPipeline.purpose", "_get_pipeline"),
          lambda texts: [pipeline_job(texts)] if present("_TextPipeline") and present("_get_pipeline") else []),
    Entry(("Lexicon", "_has_anomalies_lex", "_inspect_anomalies_lex"),
          lambda texts: [lexicon_job(texts)] if present("Lexicon") else []),
]


# Callables that the stress run must exercise, whenever the module exports them.
MUST_COVER = {
    "batch functions": lambda: {n for n in _core.__all__ if n.endswith("_batch")},
    "methods of the classes that keep state": lambda: {
        f"{c}.{m}" for c in ("_UniqueSlugifier", "_TextPipeline") if present(c)
        for m, v in vars(getattr(_core, c)).items() if not m.startswith("_") and callable(v)}
        | ({"Lexicon"} if present("Lexicon") else set()),
    "setters of process-wide state": lambda: {
        n for n in ("_register_lang", "_register_replacements", "_remove_replacement", "_clear_replacements",
                    "_set_emoji_provider", "_set_transliterate_fallback") if present(n)},
}


# ---- the worker -------------------------------------------------------------------------------------------

def run_threads(table: list[Job], seconds: float, failures: Failures, seal_after: float | None = None) -> list:
    stop = threading.Event()
    counts = [0] * THREADS
    weights = [j.weight for j in table]

    def work(index: int) -> None:
        rng = random.Random(index)
        while not stop.is_set():
            job = rng.choices(table, weights)[0]
            try:
                job.step(rng)
            except BaseException as exc:  # noqa: BLE001
                failures.add(f"{'/'.join(job.covers)}: {type(exc).__name__}: {exc}")
            counts[index] += 1

    threads = [threading.Thread(target=work, args=(i,), daemon=True) for i in range(THREADS)]
    for t in threads:
        t.start()
    if seal_after is not None:
        time.sleep(seal_after)
        SEALED.set()
        _core._seal_registrations()
        assert _core._registrations_sealed()
        seconds -= seal_after
    time.sleep(seconds)
    stop.set()
    stuck = []
    for t in threads:
        t.join(timeout=30)
        if t.is_alive():
            stuck.append(t.name)
    if stuck:
        print(f"stuck threads: {', '.join(stuck)}", flush=True)
        faulthandler.dump_traceback(all_threads=True)
        os._exit(3)
    return counts


def worker(seconds: float) -> int:
    faulthandler.dump_traceback_later(seconds * 3 + 120, exit=True)  # a stuck main thread
    failures = Failures()
    texts = reader_texts(7, 200)
    table = [job for entry in TABLE for job in entry.make(texts)]
    for mutator, _ in BACKGROUND:
        mutator.start()
    counts = run_threads(table, seconds, failures)
    counts += run_threads(table, max(2.0, seconds / 4), failures, seal_after=0.5)
    for _, stop in BACKGROUND:
        stop.set()
    for check in FINAL_CHECKS:
        try:
            check()
        except AssertionError as exc:
            failures.add(str(exc))
    after_seal = [(f, a) for f, a in [(_core._register_lang, ("zz", {})), (_core._clear_replacements, ())]]
    for f, args in after_seal:
        try:
            f(*args)
            failures.add(f"{f.__name__} worked after the seal")
        except UnsupportedError:
            pass
    print(f"steps per thread: {counts}", flush=True)
    for failure in failures.items:
        print(f"FAILURE {failure}", flush=True)
    return 1 if failures.items else 0


# ---- tests ------------------------------------------------------------------------------------------------

@pytest.mark.parametrize("group", sorted(MUST_COVER))
def test_every_stateful_callable_is_stressed(group):
    covered = {name for entry in TABLE for name in entry.covers}
    missing = sorted(MUST_COVER[group]() - covered)
    assert not missing, f"add jobs to tests/test_stress.py for these {group}: {', '.join(missing)}"


def test_threads():
    seconds = float(os.environ.get("KELRAD_STRESS_SECONDS", 8))
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    try:
        result = subprocess.run([sys.executable, __file__, str(seconds)], capture_output=True, text=True, env=env,
                                timeout=seconds * 3 + 180, cwd=HERE.parent)
    except subprocess.TimeoutExpired as exc:
        pytest.fail(f"the stress worker hung; its output:\n{exc.stdout}\n{exc.stderr}")
    assert result.returncode == 0, f"exit status {result.returncode}\n{result.stdout}\n{result.stderr[-8000:]}"
    assert "steps per thread" in result.stdout


if __name__ == "__main__":
    sys.exit(worker(float(sys.argv[1])))
