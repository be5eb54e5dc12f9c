"""Table cases: a 10x10 table with its cell texts added to a slide of the large deck."""

from __future__ import annotations

import itertools
import json
import subprocess
import zipfile

from registry import BenchContext, Case

ROWS = COLS = 10
CELL_TEXTS = json.dumps([[row, col, f"R{row}C{col}"] for row in range(ROWS) for col in range(COLS)])

# Each run writes a new file, so neither side pays for freeing the previous output.
_runs = itertools.count()


def add_table(ctx: BenchContext) -> str:
    output = ctx.work / f"table-{next(_runs)}.pptx"
    return ctx.native.add_slide_table_with_cell_texts_json(
        str(ctx.deck), str(output), 250, ROWS, COLS, 914400, 914400, 7315200, 3657600, CELL_TEXTS
    )


def copy_with_cp(ctx: BenchContext) -> str:
    output = ctx.work / f"cp-{next(_runs)}.pptx"
    subprocess.run(["cp", str(ctx.deck), str(output)], check=True)
    return str(output)


def same_package_with_the_table(candidate: str, baseline: str, ctx: BenchContext) -> None:
    record = json.loads(candidate)
    with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as copied:
        names = copied.namelist()
        if written.namelist() != names or record["part_count"] != len(names):
            raise AssertionError("the edited package does not hold the input's entries in order")
        slide = written.read(record["slide_part"])
        if slide.count(b"<a:tc>") != ROWS * COLS or b"<a:t>R9C9</a:t>" not in slide:
            raise AssertionError("the table or its texts are missing from the edited slide")


CASES = [
    Case(
        name="add_slide_table_with_cell_texts_json",
        function="add_slide_table_with_cell_texts_json",
        candidate=add_table,
        baseline=copy_with_cp,
        check=same_package_with_the_table,
        note="10x10 with texts on slide 250; baseline: cp of the package (target ratio <= 1.5)",
    ),
]
