"""Test configuration and the helpers the test modules share.

With KELRAD_BUILD_DIR set (scripts/test sets it), the tests import kelrad from
that CMake build tree, where the native test program and the test-only module
`kelrad_bindtest` are built too. Without it they import the installed package
and skip the native tests.
"""

from __future__ import annotations

import dataclasses
import filecmp
import os
import pathlib
import random
import shutil
import subprocess
import sys
import textwrap
import threading
import time
from collections.abc import Callable

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]
DATA = ROOT / "data"
UCD = DATA / "unicode-17.0.0" / "ucd"
BUILD = os.environ.get("KELRAD_BUILD_DIR")
BUILD_DIR = (ROOT / BUILD).resolve() if BUILD else None  # an absolute BUILD stays as it is
NATIVE_PROGRAM = BUILD_DIR / "kelrad_native_tests" if BUILD else None
FLAG, CANCEL = "\U0001F3F4", "\U000E007F"  # a flag's black flag and its cancel tag (UTS #51)


def _stage_build(build: pathlib.Path) -> None:
    """Lays the built extension out as an importable package under build/pkg. A changed file is replaced
    by renaming, never rewritten in place: another process may have the old one mapped."""
    pkg = build / "pkg" / "kelrad"
    pkg.mkdir(parents=True, exist_ok=True)
    for source in [*(ROOT / "python" / "kelrad").glob("*.py"), *build.glob("_core*.so")]:
        target = pkg / source.name
        if not target.exists() or not filecmp.cmp(source, target, shallow=False):
            shutil.copyfile(source, target.with_suffix(".tmp"))
            os.replace(target.with_suffix(".tmp"), target)
    sys.path.insert(0, str(build))
    sys.path.insert(0, str(pkg.parent))


if BUILD:
    _stage_build(BUILD_DIR)


@pytest.fixture(scope="session")
def bindtest():
    if not BUILD:
        pytest.skip("needs KELRAD_BUILD_DIR (scripts/test)")
    import kelrad_bindtest

    return kelrad_bindtest


@pytest.fixture
def clean_replacements():
    from kelrad import _core

    _core._clear_replacements()
    yield
    _core._clear_replacements()


def tags(letters: str) -> str:
    """The tag characters (U+E0000 block) spelling `letters`."""
    return "".join(chr(0xE0000 + ord(c)) for c in letters)


ENGLAND = FLAG + tags("gbeng") + CANCEL


def note(param: str | None) -> list[str] | None:
    """The note a conversion failure of `param` carries (None: no note)."""
    return param and [f"while processing '{param}'"]


def raised(exc: type[BaseException], call, message: str | None = None, param: str | None = "") -> BaseException:
    """Calls `call`, which must raise `exc`; checks the message (when given) and the note (when `param` is
    not ""), and returns the exception."""
    with pytest.raises(exc) as info:
        call()
    if message is not None:
        assert str(info.value) == message
    if param != "":
        assert getattr(info.value, "__notes__", None) == note(param)
    return info.value


def in_threads(work, n: int = 8) -> list:
    """Runs work(k) for k < n in n threads started together; returns the results in order."""
    results = [None] * n
    start = threading.Barrier(n)

    def run(k):
        start.wait()
        results[k] = work(k)

    threads = [threading.Thread(target=run, args=(k,)) for k in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return results


@dataclasses.dataclass(frozen=True)
class Stall:
    """The longest time in which a second Python thread could take no step while a call ran, as a share of
    the call's run, and the length of that run."""
    share: float
    seconds: float

    def __str__(self) -> str:
        return f"stalled {self.share:.0%} of {self.seconds * 1000:.0f} ms"


def longest_stall(call) -> Stall:
    """Runs `call` while a second thread steps through a loop, and finds the longest stretch of the call's run,
    from just before it to just after it, in which that thread took no step. A call that holds the interpreter
    lock stalls it for about the whole run; one that releases the lock, only while it converts its arguments
    and results with the lock held, or while the system keeps the thread off a core."""
    slow_steps = []  # (from, to) of each step that took over a millisecond, and of the last step
    stop = False
    stepping = threading.Event()

    def stepper():
        last = time.perf_counter()
        stepping.set()
        while not stop:
            now = time.perf_counter()
            if now - last > 0.001:
                slow_steps.append((last, now))
            last = now
        # Wherever the loop was stalled, this step ends after the call did.
        slow_steps.append((last, time.perf_counter()))

    old = sys.getswitchinterval()
    sys.setswitchinterval(0.0002)  # the call takes the lock back promptly between its chunks
    thread = threading.Thread(target=stepper)
    thread.start()
    try:
        stepping.wait()
        start = time.perf_counter()
        call()
        end = time.perf_counter()
    finally:
        stop = True
        thread.join()
        sys.setswitchinterval(old)
    longest = max(min(b, end) - max(a, start) for a, b in slow_steps)
    return Stall(max(longest, 0.0) / (end - start), end - start)


def sorting() -> Callable[[], object]:
    """A control for `assert_lets_threads_run` where no single-text call matches the call: sorting 10^6 numbers,
    which holds the interpreter lock for 200 ms or more."""
    rng = random.Random(5)
    numbers = [rng.random() for _ in range(1_000_000)]
    return lambda: sorted(numbers)


def assert_lets_threads_run(call, control) -> None:
    """`call` releases the interpreter lock for its work: no stall of another thread is longer than 40% of its
    run. `control`, a call that holds the lock, shows that the measure sees a held lock on this machine: it
    stalls the thread for over 60% of its run. Both should run for 200 ms or more, so that the system's
    scheduling is small beside them."""
    held, released = longest_stall(control), longest_stall(call)
    assert held.share > 0.6 and released.share < 0.4, f"control {held}; call {released}"


def run_python(code: str, timeout: float | None = None, **environ: str) -> subprocess.CompletedProcess:
    """Runs `code` in a new interpreter that imports the same kelrad, with `environ` added to its environment."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p), **environ)
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, env=env,
                          timeout=timeout)


def data_rows(path: pathlib.Path):
    """The ';'-separated, trimmed fields of each data line of a Unicode data file."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = [x.strip() for x in line.split("#", 1)[0].split(";")]
            if len(fields) > 1:
                yield fields


def ucd_property(name: str) -> dict[int, str]:
    """Code point -> value of a "range ; value" file of the UCD."""
    out = {}
    for fields in data_rows(UCD / name):
        first, _, last = fields[0].partition("..")
        for cp in range(int(first, 16), int(last or first, 16) + 1):
            out[cp] = fields[1]
    return out


def run_isolated(code: str, timeout: float | None = None, **environ: str) -> None:
    """`run_python`, which must succeed."""
    result = run_python(code, timeout, **environ)
    assert result.returncode == 0, result.stdout + result.stderr
