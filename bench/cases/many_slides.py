"""Edits close to the least work they can do, on decks of many small parts (text-only decks of
500 and 5,000 slides: 1,009 and 10,009 entries) and on the large media deck, each against its
floor (bench/floor.py) in the same run: the same entries written with nothing but the raw copies,
the deflating and the directory the edit needs. Each case's goal is the ratio to stay under.
"""

from __future__ import annotations

import functools
import itertools
import json
import random
import shutil
import zipfile
from pathlib import Path

import floor
from deck_builder import build_deck, text_box_xml, title_shape_xml
from registry import BOX, CONNECTOR, BenchContext, Case

PARAGRAPHS_PER_SLIDE = 24

_WORDS = (
    "revenue margin forecast quarter pipeline customer retention growth churn "
    "segment launch roadmap budget hiring region partner platform release metric"
).split()

# Each run writes a new file, so neither side pays for freeing the previous output.
_runs = itertools.count()


def make_text_only_deck(path: Path, slides: int) -> None:
    """The slides of the large deck (a title and a body of 24 paragraphs), without media."""
    rng = random.Random(20240102)
    shapes = []
    for index in range(slides):
        paragraphs = [
            " ".join(rng.choice(_WORDS) for _ in range(14)) for _ in range(PARAGRAPHS_PER_SLIDE)
        ]
        shapes.append(
            title_shape_xml(f"Slide {index + 1}: {rng.choice(_WORDS)} review")
            + text_box_xml(3, paragraphs, name="Body")
        )
    build_deck(path, slides=slides, slide_shapes=shapes, notes=False)


def text_only_deck(slides: int):
    def deck(ctx: BenchContext) -> Path:
        return ctx.cached(
            f"text-only-{slides}s-v1.pptx", functools.partial(make_text_only_deck, slides=slides)
        )

    return deck


# Deck name: (the deck, its number of slides). The media deck is the runner's large deck.
DECKS = {
    "500 text slides": (text_only_deck(500), 500),
    "5,000 text slides": (text_only_deck(5000), 5000),
    "media deck": (lambda ctx: ctx.deck, 500),
}

CELLS = json.dumps([[0, 0, "Region"], [0, 1, "Sales"], [1, 0, "North"], [1, 1, "12"]])


def _slide(number: int) -> str:
    return f"ppt/slides/slide{number}.xml"


def with_table(deck, slides: int):
    """The deck with a table on its middle slide, made once (the input of the cell setter)."""

    def tabled(ctx: BenchContext) -> Path:
        source = deck(ctx)

        def make(path: Path) -> None:
            made = ctx.work / f"table-{next(_runs)}.pptx"
            ctx.native.add_slide_table_with_cell_texts_json(
                str(source), str(made), slides // 2, 3, 2, *BOX, CELLS
            )
            shutil.move(made, path)

        return ctx.cached(f"{source.stem}-table.pptx", make)

    return tabled


# Floors: "floor" copies kept entries raw; "rehead floor" writes every kept entry under a new
# local header (the edits that give every kept entry new header fields).
FLOOR, REHEAD = "floor", "rehead floor"

# Edit name: (module function, call with (native, input, output, slides), floor, goal on a text
# deck, whether it edits the deck with a table). Slide numbers in the middle of the deck keep the
# edited part away from either end of the archive. Every edit of the media deck has the goal 1.1
# but deleting half its slides, which removes all its media: what is left is a small package, and
# its floor is handed the plan that reading what the deleted slides reach gives the module.
EDITS = {
    "add_slide_text_box_with_text_json": (
        "add_slide_text_box_with_text_json",
        lambda n, i, o, s: n.add_slide_text_box_with_text_json(i, o, s // 2, *BOX, "Added"),
        FLOOR,
        1.5,
        False,
    ),
    "add_slide_table_with_cell_texts_json": (
        "add_slide_table_with_cell_texts_json",
        lambda n, i, o, s: n.add_slide_table_with_cell_texts_json(i, o, s // 2, 3, 2, *BOX, CELLS),
        FLOOR,
        1.5,
        False,
    ),
    "add_slide_connected_connector_with_auto_shapes_json": (
        "add_slide_connected_connector_with_auto_shapes_json",
        lambda n, i, o, s: n.add_slide_connected_connector_with_auto_shapes_json(
            i, o, s // 2, *CONNECTOR
        ),
        FLOOR,
        1.5,
        False,
    ),
    "set_slide_shape_text_at_index_json": (
        "set_slide_shape_text_at_index_json",
        lambda n, i, o, s: n.set_slide_shape_text_at_index_json(i, o, s // 2, 0, "A new title"),
        REHEAD,
        1.3,
        False,
    ),
    "replace_table_cell_text_json": (
        "replace_table_cell_text_json",
        lambda n, i, o, s: n.replace_table_cell_text_json(i, o, s // 2, 0, 1, 1, "A new cell"),
        REHEAD,
        1.3,
        True,
    ),
    "add_blank_slide_json": (
        "add_blank_slide_json",
        lambda n, i, o, s: n.add_blank_slide_json(i, o),
        FLOOR,
        1.4,
        False,
    ),
    "add_blank_slide_with_layout_json": (
        "add_blank_slide_with_layout_json",
        lambda n, i, o, s: n.add_blank_slide_with_layout_json(i, o, 0),
        FLOOR,
        1.4,
        False,
    ),
    "duplicate_slide_json": (
        "duplicate_slide_json",
        lambda n, i, o, s: n.duplicate_slide_json(i, o, _slide(s // 2)),
        FLOOR,
        1.4,
        False,
    ),
    "delete_slide_json": (
        "delete_slide_json",
        lambda n, i, o, s: n.delete_slide_json(i, o, _slide(1)),
        REHEAD,
        1.5,
        False,
    ),
    "delete_slides_json (half)": (
        "delete_slides_json",
        lambda n, i, o, s: n.delete_slides_json(i, o, [_slide(k) for k in range(1, s // 2 + 1)]),
        REHEAD,
        2.0,
        False,
    ),
}


class FloorPair:
    """One edit and its floor. The first call of the edit (untimed in the runner) gives the plan
    the floor writes by."""

    def __init__(self, deck, slides: int, call, rehead: bool):
        self.deck, self.slides, self.call, self.rehead = deck, slides, call, rehead
        self.plan: floor.Plan | None = None

    def candidate(self, ctx: BenchContext) -> str:
        output = ctx.work / f"edit-{next(_runs)}.pptx"
        result = self.call(ctx.native, str(self.deck(ctx)), str(output), self.slides)
        if self.plan is None:
            self.plan = floor.plan_of(self.deck(ctx), str(output))
        return result

    def baseline(self, ctx: BenchContext) -> str:
        output = ctx.work / f"floor-{next(_runs)}.pptx"
        return floor.write(self.deck(ctx), output, self.plan, self.rehead)

    @staticmethod
    def check(candidate: str, baseline: str, ctx: BenchContext) -> None:
        record = json.loads(candidate)
        with zipfile.ZipFile(record["path"]) as written:
            if len(written.infolist()) != record["part_count"]:
                raise AssertionError("the record's part count is not the output's")
        floor.same_entries(record["path"], baseline)


def _case(
    edit: str,
    deck_name: str,
    deck,
    slides: int,
    function: str,
    call,
    kind: str,
    goal: float,
    tabled: bool,
    repeats: int,
) -> Case:
    if tabled:
        deck = with_table(deck, slides)
    pair = FloorPair(deck, slides, call, kind == REHEAD)
    return Case(
        name=f"{edit} [{deck_name}]",
        function=function,
        candidate=pair.candidate,
        baseline=pair.baseline,
        check=pair.check,
        repeats=repeats,
        goal=goal,
        note=f"{deck_name}; baseline: the {kind}",
    )


def media_goal(edit: str) -> float:
    return MEDIA_HALF_DELETION_GOAL if edit == "delete_slides_json (half)" else 1.1


MEDIA_HALF_DELETION_GOAL = 2.7

# The pairs each ratio is the median of. The runner's default leaves two runs in a row up to a
# fifth apart on a busy machine: calls of a few milliseconds (every edit of a text deck, and the
# media deck's half deletion, which leaves a small package) vary most from one pair to the next,
# and take more pairs for a few seconds per case; the other edits of the media deck, a tenth of a
# second each, take fewer.
SHORT_CALL_REPEATS = 25
MEDIA_DECK_REPEATS = 11


def repeats_for(deck_name: str, edit: str) -> int:
    short = deck_name != "media deck" or edit == "delete_slides_json (half)"
    return SHORT_CALL_REPEATS if short else MEDIA_DECK_REPEATS


CASES = [
    _case(
        edit,
        deck_name,
        deck,
        slides,
        function,
        call,
        kind,
        media_goal(edit) if deck_name == "media deck" else goal,
        tabled,
        repeats_for(deck_name, edit),
    )
    for deck_name, (deck, slides) in DECKS.items()
    for edit, (function, call, kind, goal, tabled) in EDITS.items()
    if not (tabled and deck_name == "media deck")
]
