"""Runs the module's functions on a generated sample deck and prints what they return.

Writes the sample deck, every output package and every JSON result under build/demo/.
Each step names one module function; steps whose function this build does not provide
are skipped. To show a new function, append a ``Step`` to ``STEPS``: its ``args`` gets
the ``Demo`` context and returns the positional arguments of the call.
"""

from __future__ import annotations

import json
import shutil
import sys
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "fixtures"))

from deck_builder import build_deck, png_bytes, text_box_xml, title_shape_xml  # noqa: E402

import pelvane.pelvane_native as native  # noqa: E402


@dataclass
class Demo:
    """Paths the steps work with; every output goes to ``out``."""

    out: Path
    deck: Path
    image: Path
    outputs: dict[str, Path] = field(default_factory=dict)

    def output(self, name: str) -> str:
        """A fresh output path under build/demo/, remembered under ``name``."""
        path = self.out / name
        self.outputs[name] = path
        return str(path)


@dataclass
class Step:
    function: str
    args: Callable[[Demo], tuple] = lambda demo: ()
    note: str = ""


STEPS: list[Step] = [
    Step("build_info_json", note="build profile and version"),
    Step("inspect_package_json", lambda d: (str(d.deck),), "manifest of the sample deck"),
    Step("roundtrip_package_json", lambda d: (str(d.deck), d.output("roundtrip.pptx")),
         "unchanged copy of the sample deck, with its manifest"),
    Step("summarize_presentation_json", lambda d: (str(d.deck),),
         "every slide of the sample deck: texts, shapes through groups, tables, notes"),
    Step("summarize_slide_at_index_json", lambda d: (str(d.deck), 2),
         "slide 3 of the sample deck alone"),
    # Slides and placeholders, each step editing the previous step's output: a blank slide on
    # the layout of the first slide, a blank slide on layout 2, then placeholders on that slide;
    # last, the placeholders of layout 1 on slide 3 of the sample deck.
    Step("add_blank_slide_json", lambda d: (str(d.deck), d.output("slides-1-blank.pptx")),
         "a fourth slide on the layout of the first, with its empty placeholders"),
    Step("add_blank_slide_with_layout_json",
         lambda d: (str(d.outputs["slides-1-blank.pptx"]), d.output("slides-2-layout.pptx"), 1),
         "a fifth slide on layout 2 (Title and Content), the second in natural order"),
    Step("add_slide_placeholder_shape_json",
         lambda d: (str(d.outputs["slides-2-layout.pptx"]), d.output("slides-3-placeholder.pptx"),
                    4, "body", "vert", None, "13"),
         "a vertical text placeholder on slide 5"),
    Step("add_slide_placeholder_shapes_json",
         lambda d: (str(d.outputs["slides-3-placeholder.pptx"]), d.output("slides-4-placeholders.pptx"),
                    4, '[{"placeholder_type": "dt", "placeholder_size": "half", "placeholder_idx": "10"},'
                       ' {"placeholder_type": "sldNum", "placeholder_size": "quarter", "placeholder_idx": "12"}]'),
         "a date and a slide-number placeholder on slide 5, from JSON"),
    Step("add_slide_layout_placeholders_json",
         lambda d: (str(d.deck), d.output("slides-5-layout-placeholders.pptx"), 2, 0),
         "the placeholders of layout 1 (Title Slide) on slide 3"),
    # Shapes, each step editing the previous step's output: a titled rectangle on slide 1, an
    # ellipse inside the group of slide 3, a text box on slide 1.
    Step("add_slide_auto_shape_with_text_json",
         lambda d: (str(d.deck), d.output("shapes-1-rectangle.pptx"), 0, "rect",
                    7315200, 4572000, 3657600, 1371600, "Target: +12%"),
         "a rectangle with a title on slide 1"),
    Step("add_slide_group_auto_shape_with_text_json",
         lambda d: (str(d.outputs["shapes-1-rectangle.pptx"]), d.output("shapes-2-ellipse.pptx"),
                    2, 0, "ellipse", 8229600, 1828800, 1828800, 1828800, "Owner"),
         "an ellipse inside the group of slide 3"),
    Step("add_slide_text_box_with_text_json",
         lambda d: (str(d.outputs["shapes-2-ellipse.pptx"]), d.output("shapes-3-text-box.pptx"),
                    0, 838200, 5943600, 6096000, 457200, "Source: finance, Q3"),
         "a text box on slide 1"),
]


def group_xml(shape_id: int, children: str) -> str:
    """A group around the given shapes, its child frame equal to its own."""
    frame = '<a:off x="838200" y="1825625"/><a:ext cx="10515600" cy="4351338"/>'
    child_frame = '<a:chOff x="838200" y="1825625"/><a:chExt cx="10515600" cy="4351338"/>'
    return (f'<p:grpSp><p:nvGrpSpPr><p:cNvPr id="{shape_id}" name="Group {shape_id - 1}"/>'
            '<p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
            f'<p:grpSpPr><a:xfrm>{frame}{child_frame}</a:xfrm></p:grpSpPr>{children}</p:grpSp>')


def make_sample_deck(out: Path) -> Path:
    shapes = [
        title_shape_xml("Quarterly review") + text_box_xml(3, ["Revenue grew", "Costs fell"]),
        None,  # default: a title and the picture related from this slide
        title_shape_xml("Next steps") + group_xml(4, text_box_xml(3, ["Hire", "Ship", "Measure"], name="Plan")),
    ]
    return build_deck(out / "sample.pptx", slides=3, titles=["", "Team photo", ""],
                      slide_shapes=shapes, notes={0: "Open with the headline number"},
                      media={"image1.png": png_bytes(4, 3, (30, 120, 200))},
                      media_rels={1: ["image1.png"]})


def main() -> int:
    out = ROOT / "build" / "demo"
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    image = out / "picture.png"
    image.write_bytes(png_bytes(8, 8, (200, 60, 40)))
    demo = Demo(out=out, deck=make_sample_deck(out), image=image)
    print(f"sample deck: {demo.deck}")

    available = set(getattr(native, "__all__", ()))
    failures = 0
    for number, step in enumerate(STEPS, 1):
        if step.function not in available:
            print(f"\n== {step.function}: not in this build, skipped")
            continue
        print(f"\n== {step.function}" + (f": {step.note}" if step.note else ""))
        try:
            result = getattr(native, step.function)(*step.args(demo))
        except Exception as error:  # show the failure and go on with the other steps
            failures += 1
            print(f"{type(error).__name__}: {error}")
            continue
        text = result if isinstance(result, str) else repr(result)
        (out / f"{number:02d}-{step.function}.json").write_text(text, encoding="utf-8")
        if isinstance(result, str):
            json.loads(result)  # every result is JSON text
        print(text)

    shown = {step.function for step in STEPS}
    untried = [name for name in getattr(native, "__all__", ()) if name not in shown]
    if untried:
        print(f"\nfunctions without a demo step: {', '.join(untried)}")
    print(f"\noutputs are in {out}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
