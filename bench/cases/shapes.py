"""Shape cases: one auto shape, a connector with its two shapes, a freeform, or a group gathered
from existing shapes, each on a slide of the large deck."""

from __future__ import annotations

import itertools
import json
import shutil
import zipfile

from registry import CONNECTOR, BenchContext, Case

# Each run writes a new file, so neither side pays for freeing the previous output.
_runs = itertools.count()


def add_auto_shape(ctx: BenchContext) -> str:
    output = ctx.work / f"auto-shape-{next(_runs)}.pptx"
    return ctx.native.add_slide_auto_shape_json(
        str(ctx.deck), str(output), 250, "rect", 914400, 914400, 1828800, 914400
    )


def copy_of(source):
    """Baseline: a plain file copy of the case's input, ``source(ctx)``."""

    def copy(ctx: BenchContext) -> str:
        output = ctx.work / f"copy-{next(_runs)}.pptx"
        shutil.copyfile(source(ctx), output)
        return str(output)

    return copy


copy_package = copy_of(lambda ctx: ctx.deck)


_TRIANGLE = json.dumps(
    [
        {"type": "move_to", "x": 50, "y": 0},
        {"type": "line_to", "x": 100, "y": 100},
        {"type": "line_to", "x": 0, "y": 100},
        {"type": "close"},
    ]
)


def add_connector_with_shapes(ctx: BenchContext) -> str:
    output = ctx.work / f"connector-{next(_runs)}.pptx"
    return ctx.native.add_slide_connected_connector_with_auto_shapes_json(
        str(ctx.deck),
        str(output),
        250,
        *CONNECTOR,
    )


def add_freeform(ctx: BenchContext) -> str:
    output = ctx.work / f"freeform-{next(_runs)}.pptx"
    return ctx.native.add_slide_freeform_shape_with_text_json(
        str(ctx.deck), str(output), 250, -457200, 914400, 914400, 914400, 100, 100, _TRIANGLE, "Go"
    )


def grouped_deck(ctx: BenchContext):
    """The large deck with an empty group holding two auto shapes on slide 250 (made once)."""

    def make(path):
        empty, first = path.with_name("grouped-0.pptx"), path.with_name("grouped-1.pptx")
        ctx.native.add_slide_group_shape_json(str(ctx.deck), str(empty), 250)
        ctx.native.add_slide_group_auto_shape_with_text_json(
            str(empty), str(first), 250, 0, "rect", 0, 0, 914400, 914400, "a"
        )
        ctx.native.add_slide_group_auto_shape_with_text_json(
            str(first), str(path), 250, 0, "ellipse", 914400, 0, 914400, 914400, "b"
        )
        empty.unlink()
        first.unlink()

    return ctx.cached(f"grouped-{ctx.deck.name}", make)


def gather_group_children(ctx: BenchContext) -> str:
    output = ctx.work / f"gathered-{next(_runs)}.pptx"
    return ctx.native.group_slide_existing_group_children_json(
        str(grouped_deck(ctx)), str(output), 250, 0, [1, 0]
    )


def same_package_but_one_slide(marker: bytes):
    """Check: the edited package holds the copy's entries in order, and its slide the marker."""

    def check(candidate: str, baseline: str, ctx: BenchContext) -> None:
        record = json.loads(candidate)
        with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as copied:
            names = copied.namelist()
            if written.namelist() != names or record["part_count"] != len(names):
                raise AssertionError(
                    "the edited package does not hold the input's entries in order"
                )
            if record["slide_part"] not in names or marker not in written.read(
                record["slide_part"]
            ):
                raise AssertionError("the new shape is missing from the edited slide")

    return check


CASES = [
    Case(
        name="add_slide_auto_shape_json",
        function="add_slide_auto_shape_json",
        candidate=add_auto_shape,
        baseline=copy_package,
        check=same_package_but_one_slide(b'prst="rect"'),
        note="baseline: plain file copy of the package (target ratio <= 1.5)",
    ),
    Case(
        name="add_slide_connected_connector_with_auto_shapes_json",
        function="add_slide_connected_connector_with_auto_shapes_json",
        candidate=add_connector_with_shapes,
        baseline=copy_package,
        check=same_package_but_one_slide(b'<a:endCxn id="'),
        note="baseline: plain file copy of the package (target ratio <= 1.5)",
    ),
    Case(
        name="add_slide_freeform_shape_with_text_json",
        function="add_slide_freeform_shape_with_text_json",
        candidate=add_freeform,
        baseline=copy_package,
        check=same_package_but_one_slide(b"<a:custGeom>"),
        note="baseline: plain file copy of the package (target ratio <= 1.5)",
    ),
    Case(
        name="group_slide_existing_group_children_json",
        function="group_slide_existing_group_children_json",
        candidate=gather_group_children,
        baseline=copy_of(grouped_deck),
        check=same_package_but_one_slide(
            b'<a:chOff x="0" y="0"/><a:chExt cx="1828800" cy="914400"/>'
        ),
        note="baseline: plain file copy of its input, made once with the module (target ratio <= 1.5)",
    ),
]
