"""Benchmark runner: each case's median time against its Python baseline, as a ratio.

Usage: python bench/run_bench.py [--repeats N] [--only NAME ...] [--match TEXT] [--work DIR] [--list]

The large deck (about 500 text-heavy slides and 200 MB of incompressible media) and the
text-only decks are generated once and kept under build/bench/. Outputs go to a folder on
a RAM disk (/dev/shm) when there is one, so that the disk does not time the writes. Cases
come from bench/cases/*.py (see bench/registry.py); a case whose module function the module
lacks stops the run before anything is timed. For each case both sides run once untimed and
their results are compared, then they alternate for the given number of repeats; the ratio is
the median of the ratios of the calls made back to back. A ratio below 1.0 means the module is
faster; a case with a goal shows whether its ratio is at or
under it. This is a measurement, not a test: nothing here fails on a slow result.
"""

from __future__ import annotations

import argparse
import importlib.util
import json
import os
import random
import shutil
import statistics
import sys
import time
from pathlib import Path

BENCH = Path(__file__).resolve().parent
ROOT = BENCH.parent
sys.path.insert(0, str(BENCH))
sys.path.insert(0, str(ROOT / "tests" / "fixtures"))

from deck_builder import build_deck, picture_xml, text_box_xml, title_shape_xml  # noqa: E402
from registry import BenchContext, Case  # noqa: E402

CACHE = ROOT / "build" / "bench"

SLIDES = 500
PARAGRAPHS_PER_SLIDE = 24
MEDIA_FILES = 100
MEDIA_BYTES = 2 * 1024 * 1024
DECK_NAME = f"large-{SLIDES}s-{MEDIA_FILES}x{MEDIA_BYTES // 1024}k-v1.pptx"

_WORDS = (
    "revenue margin forecast quarter pipeline customer retention growth churn "
    "segment launch roadmap budget hiring region partner platform release metric"
).split()


def make_large_deck(path: Path) -> None:
    """Text-heavy slides; half the media stored, half deflated (random bytes do not shrink)."""
    rng = random.Random(20240101)
    media = {f"image{n}.png": rng.randbytes(MEDIA_BYTES) for n in range(1, MEDIA_FILES + 1)}
    media_rels = {}
    shapes = []
    for index in range(SLIDES):
        paragraphs = [
            " ".join(rng.choice(_WORDS) for _ in range(14)) for _ in range(PARAGRAPHS_PER_SLIDE)
        ]
        inner = title_shape_xml(f"Slide {index + 1}: {rng.choice(_WORDS)} review")
        inner += text_box_xml(3, paragraphs, name="Body")
        if index < MEDIA_FILES:
            media_rels[index] = [f"image{index + 1}.png"]
            inner += picture_xml(4, "rId2")
        shapes.append(inner)
    stored = [f"ppt/media/image{n}.png" for n in range(1, MEDIA_FILES + 1, 2)]
    build_deck(
        path,
        slides=SLIDES,
        slide_shapes=shapes,
        notes=False,
        media=media,
        media_rels=media_rels,
        stored=stored,
    )


def load_cases() -> list[Case]:
    cases: list[Case] = []
    for source in sorted((BENCH / "cases").glob("*.py")):
        if source.name.startswith("_"):
            continue
        spec = importlib.util.spec_from_file_location(f"bench_cases_{source.stem}", source)
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        cases.extend(getattr(module, "CASES", []))
    return cases


def timed(fn, ctx: BenchContext) -> float:
    """The time of one call; what it wrote is removed afterwards, untimed, so that outputs of
    the large deck do not pile up on the RAM disk."""
    start = time.perf_counter()
    fn(ctx)
    elapsed = time.perf_counter() - start
    for written in ctx.work.iterdir():
        if written.is_file():
            written.unlink()
    return elapsed


def run_case(case: Case, ctx: BenchContext, repeats: int) -> dict:
    shutil.rmtree(ctx.work, ignore_errors=True)
    ctx.work.mkdir(parents=True)
    got, expected = case.candidate(ctx), case.baseline(ctx)
    if case.check is not None:
        case.check(got, expected, ctx)
    candidate_times, baseline_times = [], []
    for _ in range(case.repeats or repeats):
        baseline_times.append(timed(case.baseline, ctx))
        candidate_times.append(timed(case.candidate, ctx))
    candidate, baseline = statistics.median(candidate_times), statistics.median(baseline_times)
    # The ratio of each pair, taken back to back, then their median: a machine whose speed drifts
    # during the run (other work starting or ending) moves both calls of a pair alike.
    ratio = statistics.median(c / b for c, b in zip(candidate_times, baseline_times))
    return {
        "case": case.name,
        "function": case.function,
        "runs": len(candidate_times),
        "candidate_s": candidate,
        "baseline_s": baseline,
        "ratio": ratio,
        "goal": case.goal,
        "note": case.note,
    }


def default_work() -> Path:
    shm = Path("/dev/shm")
    if shm.is_dir() and os.access(shm, os.W_OK):
        return shm / f"pelvane-bench-{os.getpid()}"
    return CACHE / "work"


def verdict(row: dict) -> str:
    """The goal and whether the ratio meets it; a row over its goal is marked with a star."""
    if row["goal"] is None:
        return ""
    return f"<= {row['goal']:g} {'met' if row['ratio'] <= row['goal'] else 'OVER *'}"


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--only", nargs="*", default=None, help="case names to run")
    parser.add_argument("--match", default=None, help="run the cases whose name holds this text")
    parser.add_argument("--work", type=Path, default=None, help="folder for outputs")
    parser.add_argument("--list", action="store_true", help="list the cases and exit")
    args = parser.parse_args(argv)

    cases = load_cases()
    if args.only:
        cases = [case for case in cases if case.name in args.only]
    if args.match:
        cases = [case for case in cases if args.match in case.name]
    if args.list:
        for case in cases:
            print(f"{case.name}  ({case.function})  {case.note}")
        return 0

    import pelvane.pelvane_native as native

    # A case with the function "" needs none.
    missing = sorted(
        {case.function for case in cases if case.function and case.function not in native.__all__}
    )
    if missing:
        print(f"the module lacks functions the cases call: {', '.join(missing)}", file=sys.stderr)
        return 1

    CACHE.mkdir(parents=True, exist_ok=True)
    work = args.work or default_work()
    ctx = BenchContext(native=native, deck=CACHE / DECK_NAME, work=work, cache=CACHE)
    if not ctx.deck.exists():
        print(f"generating {ctx.deck.name} (once) ...", flush=True)
        start = time.perf_counter()
        ctx.cached(DECK_NAME, make_large_deck)
        print(f"  done in {time.perf_counter() - start:.1f} s", flush=True)
    print(f"deck: {ctx.deck} ({ctx.deck.stat().st_size / 1e6:.0f} MB); outputs in {ctx.work}\n")

    results, failed = [], False
    width = max([len("case")] + [len(case.name) for case in cases])
    print(f"{'case':<{width}} {'module':>10} {'baseline':>10} {'ratio':>7}  {'goal':<13} note")
    for case in cases:
        try:
            row = run_case(case, ctx, args.repeats)
        except Exception as error:  # report and go on with the other cases
            failed = True
            print(f"{case.name:<{width}} FAILED: {type(error).__name__}: {error}")
            continue
        results.append(row)
        print(
            f"{row['case']:<{width}} {row['candidate_s'] * 1e3:>8.1f}ms {row['baseline_s'] * 1e3:>8.1f}ms "
            f"{row['ratio']:>7.3f}  {verdict(row):<13} {row['note']}",
            flush=True,
        )
    over = [
        row["case"] for row in results if row["goal"] is not None and row["ratio"] > row["goal"]
    ]
    print(
        f"\n{len(over)} of {len(results)} cases over their goal"
        + ("" if not over else ", marked *")
    )
    shutil.rmtree(ctx.work, ignore_errors=True)
    (CACHE / "results.json").write_text(json.dumps(results, indent=2), encoding="utf-8")
    print(
        "\nmedians over the repeats; ratio = the median of module / baseline over pairs of calls "
        "made back to back (below 1.0: module faster)"
    )
    print(f"results: {CACHE / 'results.json'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
