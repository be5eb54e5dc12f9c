"""Text cases: one word replaced on every slide of the large deck."""

from __future__ import annotations

import itertools
import json
import re
import subprocess
import zipfile

from registry import BenchContext, Case

# Every slide title of the large deck reads "Slide {n}: {word} review".
SEARCH, REPLACEMENT = "review", "audit"
_SLIDE = re.compile(r"ppt/slides/slide\d+\.xml")

# Each run writes a new file, so neither side pays for freeing the previous output.
_runs = itertools.count()


def replace_everywhere(ctx: BenchContext) -> str:
    output = ctx.work / f"replace-{next(_runs)}.pptx"
    return ctx.native.replace_slide_text_json(str(ctx.deck), str(output), SEARCH, REPLACEMENT)


def copy_with_cp(ctx: BenchContext) -> str:
    output = ctx.work / f"cp-{next(_runs)}.pptx"
    subprocess.run(["cp", str(ctx.deck), str(output)], check=True)
    return str(output)


def rewrite_with_zipfile(ctx: BenchContext) -> str:
    """Every entry read and written again with its own method, the slides with the word
    replaced (the word stands only in text, so replacing it in the markup is the same)."""
    output = ctx.work / f"zipfile-{next(_runs)}.pptx"
    with (
        zipfile.ZipFile(ctx.deck) as source,
        zipfile.ZipFile(output, "w", compresslevel=6) as target,
    ):
        for info in source.infolist():
            data = source.read(info)
            if _SLIDE.fullmatch(info.filename):
                data = data.replace(SEARCH.encode(), REPLACEMENT.encode())
            entry = zipfile.ZipInfo(info.filename, (1980, 1, 1, 0, 0, 0))
            entry.compress_type = info.compress_type
            entry.external_attr = 0o100644 << 16
            target.writestr(entry, data)
    return str(output)


def every_slide_replaced(candidate: str, baseline: str, ctx: BenchContext) -> None:
    record = json.loads(candidate)
    with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as other:
        names = other.namelist()
        if written.namelist() != names or record["part_count"] != len(names):
            raise AssertionError("the edited package does not hold the input's entries in order")
        slides = [name for name in names if _SLIDE.fullmatch(name)]
        if record["replacements"] < len(slides):
            raise AssertionError("the word was not replaced on every slide")
        if any(REPLACEMENT.encode() not in written.read(name) for name in slides):
            raise AssertionError("a slide was left without the replacement")


def same_entries_as_zipfile(candidate: str, baseline: str, ctx: BenchContext) -> None:
    every_slide_replaced(candidate, baseline, ctx)
    with (
        zipfile.ZipFile(json.loads(candidate)["path"]) as written,
        zipfile.ZipFile(baseline) as other,
    ):
        for info in other.infolist():
            if written.getinfo(info.filename).CRC != info.CRC:
                raise AssertionError(f"{info.filename} differs from the zipfile rewrite")


CASES = [
    Case(
        name="replace_slide_text_json",
        function="replace_slide_text_json",
        candidate=replace_everywhere,
        baseline=copy_with_cp,
        check=every_slide_replaced,
        note="a word on all 500 slides; baseline: cp of the package (target ratio <= 1.5)",
    ),
    Case(
        name="replace_slide_text_json_vs_zipfile",
        function="replace_slide_text_json",
        candidate=replace_everywhere,
        baseline=rewrite_with_zipfile,
        check=same_entries_as_zipfile,
        note="the same; baseline: zipfile rewriting every entry with the same replacements",
    ),
]
