"""Shape cases: one auto shape added to a slide of the large deck."""

from __future__ import annotations

import itertools
import json
import shutil
import zipfile

from registry import BenchContext, Case

# Each run writes a new file, so neither side pays for freeing the previous output.
_runs = itertools.count()


def add_auto_shape(ctx: BenchContext) -> str:
    output = ctx.work / f"auto-shape-{next(_runs)}.pptx"
    return ctx.native.add_slide_auto_shape_json(str(ctx.deck), str(output), 250, "rect",
                                                914400, 914400, 1828800, 914400)


def copy_package(ctx: BenchContext) -> str:
    output = ctx.work / f"copy-{next(_runs)}.pptx"
    shutil.copyfile(ctx.deck, output)
    return str(output)


def same_package_but_one_slide(candidate: str, baseline: str, ctx: BenchContext) -> None:
    record = json.loads(candidate)
    with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as copied:
        names = copied.namelist()
        if written.namelist() != names or record["part_count"] != len(names):
            raise AssertionError("the edited package does not hold the input's entries in order")
        if record["slide_part"] not in names or b'prst="rect"' not in written.read(record["slide_part"]):
            raise AssertionError("the auto shape is missing from the edited slide")


CASES = [
    Case(
        name="add_slide_auto_shape_json",
        function="add_slide_auto_shape_json",
        candidate=add_auto_shape,
        baseline=copy_package,
        check=same_package_but_one_slide,
        note="baseline: plain file copy of the package (target ratio <= 1.5)",
    ),
]
