"""Every benchmark of kelrad against its peer, in one run and one table.

    KELRAD_BUILD_DIR=build/tests .bench-venv/bin/python bench/compare.py [--quick] [family ...]

Each bench/bench_*.py module gives its rows (its `rows(quick)` function):
1 MiB texts and short words (one in each of eight scripts, per call), each
on fresh str objects and on reused ones, and the inputs its own targets are
stated for (titles, host names, file names, byte strings, threads). The two
sides of a row run in interleaved rounds (bench/interleaved.py); the figures
are the best rounds, "ms" per text or "ns" per call. ratio = peer time /
kelrad time (above 1: kelrad is faster); target = the least ratio asked for
("within 1.5x of the peer's time" is 0.67).

The full run takes about a minute on an idle machine, half of it generating
the 1,000,000-entry dictionary of the context benchmark; --quick takes fewer
rounds and leaves that dictionary and the native guard timing out (about 20
s). Naming families (normalize, case_fold, ...) runs only those.
"""

from __future__ import annotations

import argparse
import importlib
import platform
import sys
import time
from importlib.metadata import PackageNotFoundError, version

from interleaved import Row

FAMILIES = ["normalize", "case_fold", "strip", "transliterate", "context", "slugify", "width", "emoji", "encoding",
            "confusables", "hostname", "filenames", "nearest", "edit_distance", "anomalies", "presets", "pipelines"]
PEERS = ["unidecode", "anyascii", "python-slugify", "text-unidecode", "wcwidth", "ugrapheme", "emoji",
         "charset-normalizer", "chardet", "idna", "confusable_homoglyphs", "pathvalidate", "rapidfuzz"]


def figure(seconds: float, unit: str) -> str:
    if not unit:  # a row of ratios only
        return ""
    if unit == "ns":
        return f"{seconds * 1e9:,.0f} ns"
    if unit == "us":
        return f"{seconds * 1e6:,.2f} us"
    return f"{seconds * 1e3:,.3f} ms"


def print_table(rows: list[Row]) -> None:
    header = (f"{'benchmark':<48} {'str':<6} {'peer':<30} {'peer':>12} {'kelrad':>12} {'ratio':>8} "
              f"{'target':>10}")
    print(header)
    # Rows of one section together, in the order the sections first appear.
    order = {}
    for r in rows:
        order.setdefault(r.section, len(order))
    section = None
    for r in sorted(rows, key=lambda r: order[r.section]):
        if r.section != section:
            section = r.section
            print(f"-- {section} " + "-" * (len(header) - len(section) - 4))
        if r.ceiling is not None:
            target = "<=" + figure(r.ceiling, r.unit)
        else:
            target = "" if r.target is None else f">={r.target:.2f}"
        verdict = {None: "", True: "  met", False: "  NOT MET"}[r.met]
        peer = figure(r.peer_s, r.unit) if r.peer_s else "-"  # a row without a peer
        ratio = f"{r.ratio:8.2f}" if r.peer_s else f"{'-':>8}"
        print(f"{r.label:<48} {r.str_objects:<6} {r.peer:<30} {peer:>12} {figure(r.ours_s, r.unit):>12} {ratio} "
              f"{target:>10}{verdict}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer rounds")
    parser.add_argument("families", nargs="*", metavar="family", help=f"one of {', '.join(FAMILIES)} (default: all)")
    args = parser.parse_args()
    if unknown := set(args.families) - set(FAMILIES):
        parser.error(f"unknown families: {', '.join(sorted(unknown))}")
    versions = []
    for name in PEERS:
        try:
            versions.append(f"{name} {version(name)}")
        except PackageNotFoundError:
            versions.append(f"{name} (missing)")
    print(f"CPython {platform.python_version()} on {platform.machine()}; " + ", ".join(versions))
    rows: list[Row] = []
    start = time.perf_counter()
    for family in args.families or FAMILIES:
        t0 = time.perf_counter()
        module = importlib.import_module(f"bench_{family}")
        rows += module.rows(args.quick)
        print(f"  {family}: {time.perf_counter() - t0:.1f} s", file=sys.stderr)
    print()
    print_table(rows)
    verdicts = [r.met for r in rows if r.met is not None]
    print(f"\n{len(rows)} rows in {time.perf_counter() - start:.0f} s; "
          f"{sum(verdicts)} targets met, {len(verdicts) - sum(verdicts)} not met")


if __name__ == "__main__":
    main()
