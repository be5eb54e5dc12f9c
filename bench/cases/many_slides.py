"""Many-part case: one text box added to a slide of a deck of 5,000 text-only slides.

The edit changes one slide of some 10,000 entries, so its cost should stay close to a copy of
the file however many entries the deck holds.
"""

from __future__ import annotations

import itertools
import json
import random
import shutil
import zipfile
from pathlib import Path

from deck_builder import build_deck, text_box_xml, title_shape_xml
from registry import BenchContext, Case

SLIDES = 5000
PARAGRAPHS_PER_SLIDE = 24
DECK_NAME = f"text-only-{SLIDES}s-v1.pptx"

_WORDS = ("revenue margin forecast quarter pipeline customer retention growth churn "
          "segment launch roadmap budget hiring region partner platform release metric").split()

# Each run writes a new file, so neither side pays for freeing the previous output.
_runs = itertools.count()


def make_text_only_deck(path: Path) -> None:
    """The slides of the large deck (a title and a body of 24 paragraphs), without media."""
    rng = random.Random(20240102)
    shapes = []
    for index in range(SLIDES):
        paragraphs = [" ".join(rng.choice(_WORDS) for _ in range(14)) for _ in range(PARAGRAPHS_PER_SLIDE)]
        shapes.append(title_shape_xml(f"Slide {index + 1}: {rng.choice(_WORDS)} review")
                      + text_box_xml(3, paragraphs, name="Body"))
    build_deck(path, slides=SLIDES, slide_shapes=shapes, notes=False)


def deck(ctx: BenchContext) -> Path:
    return ctx.cached(DECK_NAME, make_text_only_deck)


def add_text_box(ctx: BenchContext) -> str:
    output = ctx.work / f"text-box-{next(_runs)}.pptx"
    return ctx.native.add_slide_text_box_with_text_json(str(deck(ctx)), str(output), 2500,
                                                        914400, 914400, 1828800, 914400, "Added")


def copy_package(ctx: BenchContext) -> str:
    output = ctx.work / f"copy-{next(_runs)}.pptx"
    shutil.copyfile(deck(ctx), output)
    return str(output)


def same_package_but_one_slide(candidate: str, baseline: str, ctx: BenchContext) -> None:
    record = json.loads(candidate)
    with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as copied:
        names = copied.namelist()
        if written.namelist() != names or record["part_count"] != len(names):
            raise AssertionError("the edited package does not hold the input's entries in order")
        if b"<a:t>Added</a:t>" not in written.read(record["slide_part"]):
            raise AssertionError("the text box is missing from the edited slide")


CASES = [
    Case(
        name="add_slide_text_box_with_text_json_5000",
        function="add_slide_text_box_with_text_json",
        candidate=add_text_box,
        baseline=copy_package,
        check=same_package_but_one_slide,
        note=f"{SLIDES} text-only slides; baseline: plain file copy (target ratio <= 2.0)",
    ),
]
