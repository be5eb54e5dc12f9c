"""Edit batch case: 100 edits over 50 slides of the large deck, written once."""

from __future__ import annotations

import itertools
import json
import subprocess
import zipfile

from registry import BenchContext, Case

# Slides 0, 2, ..., 98 of the large deck: a title (shape 0, run 0), a body of 24 paragraphs
# (shape 1, runs 1 to 24) and a picture (top-level shape 2) on rId2, used by nothing else.
SLIDES = range(0, 100, 2)
UNSET = {
    "set_bold": False,
    "set_italic": False,
    "set_underline": False,
    "set_size": False,
    "set_name": False,
}


def formatting(slide: int, run: int) -> dict:
    return {
        "type": "set_text_run_formatting",
        "slide_index": slide,
        "run_index": run,
        **UNSET,
        "set_bold": True,
        "bold": True,
        "set_color": True,
        "color": "1F4E79",
    }


def slide_edits(number: int, slide: int) -> list[dict]:
    """Two edits for a slide, the kinds taking turns from slide to slide."""
    body = {"slide_index": slide, "shape_index": 1}
    pairs = [
        [
            {
                "type": "replace_text_run",
                "slide_index": slide,
                "run_index": 0,
                "replacement": "Reviewed",
            },
            formatting(slide, 1),
        ],
        [formatting(slide, 2), formatting(slide, 3)],  # one merged pass
        [
            {
                "type": "set_paragraph_properties",
                **body,
                "paragraph_index": 0,
                "set_alignment": True,
                "alignment": "ctr",
                "set_level": False,
                "level": 0,
                "spacing": {"space_after": {"kind": "emu", "value": 76200}},
            },
            {
                "type": "set_shape_geometry",
                **body,
                "x_emu": 838200,
                "y_emu": 1825625,
                "cx_emu": 9144000,
                "cy_emu": 4000000,
            },
        ],
        [
            {"type": "append_paragraph_text", **body, "text": "Checked"},
            {
                "type": "set_text_frame_properties",
                **body,
                "properties": {"set_auto_size": True, "auto_size": "normAutofit"},
            },
        ],
    ]
    return pairs[number % len(pairs)]


EDITS = [edit for number, slide in enumerate(SLIDES) for edit in slide_edits(number, slide)]
# The last edit of the first slide deletes its picture instead, whose relationship goes too.
EDITS[1] = {"type": "delete_shape", "slide_index": 0, "shape_index": 2}
EDITS_JSON = json.dumps(EDITS)

# Each run writes a new file, so neither side pays for freeing the previous output.
_runs = itertools.count()


def apply_batch(ctx: BenchContext) -> str:
    output = ctx.work / f"batch-{next(_runs)}.pptx"
    return ctx.native.apply_edit_batch_json(str(ctx.deck), str(output), EDITS_JSON)


def copy_with_cp(ctx: BenchContext) -> str:
    output = ctx.work / f"cp-{next(_runs)}.pptx"
    subprocess.run(["cp", str(ctx.deck), str(output)], check=True)
    return str(output)


def same_package_with_the_edits(candidate: str, baseline: str, ctx: BenchContext) -> None:
    record = json.loads(candidate)
    if record["edits"] != len(EDITS):
        raise AssertionError("the batch did not count every edit")
    with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as copied:
        names = copied.namelist()
        if written.namelist() != names or record["part_count"] != len(names):
            raise AssertionError("the edited package does not hold the input's entries in order")
        if b"<p:pic>" in written.read("ppt/slides/slide1.xml"):
            raise AssertionError("the picture of slide 1 is still there")
        if b'Id="rId2"' in written.read("ppt/slides/_rels/slide1.xml.rels"):
            raise AssertionError("the relationship of the deleted picture was not pruned")
        if b"Checked" not in written.read("ppt/slides/slide7.xml"):
            raise AssertionError("a paragraph was not appended")


CASES = [
    Case(
        name="apply_edit_batch_json",
        function="apply_edit_batch_json",
        candidate=apply_batch,
        baseline=copy_with_cp,
        check=same_package_with_the_edits,
        note="100 edits over 50 slides, one picture deleted and its relationship pruned; "
        "baseline: cp of the package (target ratio <= 1.5)",
    ),
]
