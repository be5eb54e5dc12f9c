"""Slide cases: a blank slide appended to the large deck, a layout's placeholders added to one
of its slides (which writes every entry again), slide 1 duplicated, deleted, and deleted with
the other slides reversed, each against a copy of the package."""

from __future__ import annotations

import itertools
import json
import sys
import zipfile
from pathlib import Path

from registry import BenchContext, Case

# The shape cases' baseline: a plain file copy of the package.
sys.path.insert(0, str(Path(__file__).resolve().parent))
from shapes import copy_package

_runs = itertools.count()


def add_blank_slide(ctx: BenchContext) -> str:
    output = ctx.work / f"blank-slide-{next(_runs)}.pptx"
    return ctx.native.add_blank_slide_json(str(ctx.deck), str(output))


def add_layout_placeholders(ctx: BenchContext) -> str:
    output = ctx.work / f"layout-placeholders-{next(_runs)}.pptx"
    return ctx.native.add_slide_layout_placeholders_json(str(ctx.deck), str(output), 250, 0)


SLIDE_1 = "ppt/slides/slide1.xml"


def duplicate_slide(ctx: BenchContext) -> str:
    output = ctx.work / f"duplicate-{next(_runs)}.pptx"
    return ctx.native.duplicate_slide_json(str(ctx.deck), str(output), SLIDE_1)


def delete_slide(ctx: BenchContext) -> str:
    output = ctx.work / f"delete-{next(_runs)}.pptx"
    return ctx.native.delete_slide_json(str(ctx.deck), str(output), SLIDE_1)


def delete_slide_reordering(ctx: BenchContext) -> str:
    output = ctx.work / f"delete-reorder-{next(_runs)}.pptx"
    survivors = [f"ppt/slides/slide{n}.xml" for n in range(500, 1, -1)]
    return ctx.native.delete_slides_json(str(ctx.deck), str(output), [SLIDE_1], survivors)


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


def input_entries_without(*dropped: str):
    """Checks that the output holds the copy's entries in order but `dropped`, and counts them."""

    def check(candidate: str, baseline: str, ctx: BenchContext) -> None:
        record = json.loads(candidate)
        with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as copied:
            names = [name for name in copied.namelist() if name not in dropped]
            if written.namelist() != names or record["part_count"] != len(names):
                raise AssertionError("the output does not hold the input's kept entries in order")
            if written.testzip() is not None:
                raise AssertionError("an entry of the output does not read back")

    return check


# Slide 1 of the large deck and what only it uses: its relationships part and its 2 MB picture.
SLIDE_1_PARTS = (SLIDE_1, "ppt/slides/_rels/slide1.xml.rels", "ppt/media/image1.png")

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
    Case(
        name="duplicate_slide_json",
        function="duplicate_slide_json",
        candidate=duplicate_slide,
        baseline=copy_package,
        check=input_entries_then("ppt/slides/slide501.xml", "ppt/slides/_rels/slide501.xml.rels"),
        note="slide 1 and its shared picture; baseline: plain file copy (target ratio <= 1.5)",
    ),
    Case(
        name="delete_slide_json",
        function="delete_slide_json",
        candidate=delete_slide,
        baseline=copy_package,
        check=input_entries_without(*SLIDE_1_PARTS),
        note="slide 1 and its own 2 MB picture; baseline: plain file copy (target ratio <= 1.5)",
    ),
    Case(
        name="delete_slides_json_reordering",
        function="delete_slides_json",
        candidate=delete_slide_reordering,
        baseline=copy_package,
        check=input_entries_without(*SLIDE_1_PARTS),
        note="slide 1, the other 499 reversed; baseline: plain file copy (target ratio <= 1.5)",
    ),
]
