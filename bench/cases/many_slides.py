"""Edits close to a file copy: the edits of the copy-loop goals on decks of many small parts
(text-only decks of 500 and 5,000 slides: 1,009 and 10,009 entries) and on the large media deck,
each against a plain copy of the same file in the same run.

An edit has to write the whole package at least once, so a plain copy of the file is its floor;
the ratio shows what the edit costs beyond it, and each case's goal is the ratio to stay under.
"""

from __future__ import annotations

import functools
import itertools
import json
import random
import zipfile
from pathlib import Path

from cases.shapes import copy_of
from deck_builder import build_deck, text_box_xml, title_shape_xml
from registry import BenchContext, Case

PARAGRAPHS_PER_SLIDE = 24

_WORDS = ("revenue margin forecast quarter pipeline customer retention growth churn "
          "segment launch roadmap budget hiring region partner platform release metric").split()

# Each run writes a new file, so neither side pays for freeing the previous output.
_runs = itertools.count()


def make_text_only_deck(path: Path, slides: int) -> None:
    """The slides of the large deck (a title and a body of 24 paragraphs), without media."""
    rng = random.Random(20240102)
    shapes = []
    for index in range(slides):
        paragraphs = [" ".join(rng.choice(_WORDS) for _ in range(14)) for _ in range(PARAGRAPHS_PER_SLIDE)]
        shapes.append(title_shape_xml(f"Slide {index + 1}: {rng.choice(_WORDS)} review")
                      + text_box_xml(3, paragraphs, name="Body"))
    build_deck(path, slides=slides, slide_shapes=shapes, notes=False)


def text_only_deck(slides: int):
    def deck(ctx: BenchContext) -> Path:
        return ctx.cached(f"text-only-{slides}s-v1.pptx", functools.partial(make_text_only_deck, slides=slides))
    return deck


# Deck name: (the deck, its number of slides). The media deck is the runner's large deck.
DECKS = {
    "500 text slides": (text_only_deck(500), 500),
    "5,000 text slides": (text_only_deck(5000), 5000),
    "media deck": (lambda ctx: ctx.deck, 500),
}

BOX = (914400, 914400, 1828800, 914400)
CELLS = json.dumps([[0, 0, "Region"], [0, 1, "Sales"], [1, 0, "North"], [1, 1, "12"]])


def _slide(number: int) -> str:
    return f"ppt/slides/slide{number}.xml"


# Edit name: (module function, call with (native, input, output, slides), goal). Slide numbers
# in the middle of the deck keep the edited part away from either end of the archive.
EDITS = {
    "delete_slide_json": ("delete_slide_json", lambda n, i, o, s: n.delete_slide_json(i, o, _slide(1)), 2.0),
    "delete_slides_json (half)": ("delete_slides_json", lambda n, i, o, s: n.delete_slides_json(
        i, o, [_slide(k) for k in range(1, s // 2 + 1)]), 2.0),
    "set_slide_shape_text_at_index_json": ("set_slide_shape_text_at_index_json",
                                           lambda n, i, o, s: n.set_slide_shape_text_at_index_json(
                                               i, o, s // 2, 0, "A new title"), 2.0),
    "add_blank_slide_with_layout_json": ("add_blank_slide_with_layout_json",
                                         lambda n, i, o, s: n.add_blank_slide_with_layout_json(i, o, 0), 2.0),
    "duplicate_slide_json": ("duplicate_slide_json",
                             lambda n, i, o, s: n.duplicate_slide_json(i, o, _slide(s // 2)), 2.0),
    "add_slide_table_with_cell_texts_json": ("add_slide_table_with_cell_texts_json",
                                             lambda n, i, o, s: n.add_slide_table_with_cell_texts_json(
                                                 i, o, s // 2, 3, 2, *BOX, CELLS), 2.0),
    "add_slide_connected_connector_with_auto_shapes_json": (
        "add_slide_connected_connector_with_auto_shapes_json",
        lambda n, i, o, s: n.add_slide_connected_connector_with_auto_shapes_json(
            i, o, s // 2, "rect", 914400, 914400, 914400, 457200, "ellipse", 3657600, 1828800, 914400,
            457200, "bentConnector3", 1828800, 1143000, 3657600, 2057400, 3, 1), 2.0),
    "add_slide_text_box_with_text_json": ("add_slide_text_box_with_text_json",
                                          lambda n, i, o, s: n.add_slide_text_box_with_text_json(
                                              i, o, s // 2, *BOX, "Added"), 2.0),
}


def _edit(deck, slides: int, call):
    def run(ctx: BenchContext) -> str:
        output = ctx.work / f"edit-{next(_runs)}.pptx"
        return call(ctx.native, str(deck(ctx)), str(output), slides)
    return run


def _readable(candidate: str, baseline: str, ctx: BenchContext) -> None:
    """The output is a whole archive holding as many entries as the record reports."""
    record = json.loads(candidate)
    with zipfile.ZipFile(record["path"]) as written:
        if len(written.infolist()) != record["part_count"]:
            raise AssertionError("the record's part count is not the output's")
        if written.testzip() is not None:
            raise AssertionError("an entry of the output does not read back")


CASES = [
    Case(name=f"{edit} [{deck_name}]", function=function, candidate=_edit(deck, slides, call),
         baseline=copy_of(deck), check=_readable, goal=goal,
         note=f"{deck_name}; baseline: plain copy of the same file")
    for deck_name, (deck, slides) in DECKS.items()
    for edit, (function, call, goal) in EDITS.items()
]
