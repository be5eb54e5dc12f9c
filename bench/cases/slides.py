"""Slide cases: a blank slide appended to the large deck, and a layout's placeholders added to
one of its slides (which writes every entry again), each against a copy of the package."""

from __future__ import annotations

import itertools
import json
import sys
import zipfile
from pathlib import Path

from registry import BenchContext, Case

# The shape cases' baseline: a plain file copy of the package.
sys.path.insert(0, str(Path(__file__).resolve().parent))
from shapes import copy_package  # noqa: E402

_runs = itertools.count()


def add_blank_slide(ctx: BenchContext) -> str:
    output = ctx.work / f"blank-slide-{next(_runs)}.pptx"
    return ctx.native.add_blank_slide_json(str(ctx.deck), str(output))


def add_layout_placeholders(ctx: BenchContext) -> str:
    output = ctx.work / f"layout-placeholders-{next(_runs)}.pptx"
    return ctx.native.add_slide_layout_placeholders_json(str(ctx.deck), str(output), 250, 0)


def input_entries_then(*added: str):
    """Checks that the output holds the copy's entries in order, then `added`, and that the
    record counts them."""
    def check(candidate: str, baseline: str, ctx: BenchContext) -> None:
        record = json.loads(candidate)
        with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as copied:
            names = copied.namelist() + [name.format(**record) for name in added]
            if written.namelist() != names or record["part_count"] != len(names):
                raise AssertionError("the output does not hold the input's entries in order")
            if written.testzip() is not None:
                raise AssertionError("an entry of the output does not read back")
    return check


CASES = [
    Case(
        name="add_blank_slide_json",
        function="add_blank_slide_json",
        candidate=add_blank_slide,
        baseline=copy_package,
        check=input_entries_then("ppt/slides/slide501.xml", "ppt/slides/_rels/slide501.xml.rels"),
        note="baseline: plain file copy of the package (target ratio <= 1.5)",
    ),
    Case(
        name="add_slide_layout_placeholders_json",
        function="add_slide_layout_placeholders_json",
        candidate=add_layout_placeholders,
        baseline=copy_package,
        check=input_entries_then(),
        note="every entry written again; baseline: plain file copy (target ratio <= 1.5)",
    ),
]
