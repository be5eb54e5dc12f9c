"""Media cases: pictures, a movie, an embedded object and an image replacement on the large
deck, each against a plain copy of the deck."""

from __future__ import annotations

import itertools
import json
import random
import zipfile

from cases.shapes import copy_package
from deck_builder import png_bytes
from registry import BenchContext, Case

_runs = itertools.count()


def _output(ctx: BenchContext, stem: str) -> str:
    return str(ctx.work / f"{stem}-{next(_runs)}.pptx")


def _file(ctx: BenchContext, name: str, make) -> str:
    return str(ctx.cached(name, lambda path: path.write_bytes(make(ctx))))


def _deck_image7(ctx: BenchContext) -> bytes:
    with zipfile.ZipFile(ctx.deck) as deck:
        return deck.read("ppt/media/image7.png")


def _new_image(ctx: BenchContext) -> bytes:
    return random.Random(7).randbytes(2 * 1024 * 1024)


BOX = (914400, 914400, 1828800, 1828800)


def add_reused_image(ctx: BenchContext) -> str:
    image = _file(ctx, f"media-image7-of-{ctx.deck.stem}.png", _deck_image7)
    return ctx.native.add_slide_image_json(
        str(ctx.deck), _output(ctx, "image-hit"), 250, image, *BOX
    )


def add_new_image(ctx: BenchContext) -> str:
    image = _file(ctx, "media-new-2mb.png", _new_image)
    return ctx.native.add_slide_image_json(
        str(ctx.deck), _output(ctx, "image-miss"), 250, image, *BOX
    )


def add_movie(ctx: BenchContext) -> str:
    clip = _file(ctx, "media-clip.mp4", lambda _: random.Random(3).randbytes(64 * 1024))
    poster = _file(ctx, "media-poster.png", lambda _: png_bytes(16, 9))
    return ctx.native.add_slide_movie_json(
        str(ctx.deck), _output(ctx, "movie"), 250, clip, poster, *BOX, "video/mp4"
    )


def add_object(ctx: BenchContext) -> str:
    attachment = _file(ctx, "media-object.bin", lambda _: b"figures\n" * 512)
    return ctx.native.add_slide_ole_object_json(
        str(ctx.deck),
        _output(ctx, "object"),
        250,
        attachment,
        "Package",
        *BOX,
        None,
        914400,
        914400,
    )


def replace_image(ctx: BenchContext) -> str:
    image = _file(ctx, "media-small.png", lambda _: png_bytes(8, 8, (10, 20, 30)))
    return ctx.native.replace_slide_image_at_index_json(
        str(ctx.deck), _output(ctx, "replace"), 0, "rId2", image
    )


def _expect(**fields):
    """A check that the record has these fields and the output every entry of the copy, in
    order, followed by `added` new entries."""
    added = fields.pop("added", 0)

    def check(candidate: str, baseline: str, ctx: BenchContext) -> None:
        record = json.loads(candidate)
        for key, value in fields.items():
            if record[key] != value:
                raise AssertionError(f"{key}: {record[key]!r}, expected {value!r}")
        with zipfile.ZipFile(record["path"]) as written, zipfile.ZipFile(baseline) as copied:
            names = written.namelist()
            if names[: len(names) - added] != copied.namelist() or record["part_count"] != len(
                names
            ):
                raise AssertionError("the output does not hold the input's entries in order")

    return check


_NOTE = "baseline: plain file copy of the package (target ratio <= 1.5)"
CASES = [
    Case(
        name="add_slide_image_json (identical part)",
        function="add_slide_image_json",
        candidate=add_reused_image,
        baseline=copy_package,
        check=_expect(image_part="ppt/media/image7.png"),
        goal=1.3,
        note="a picture the deck already holds; baseline: plain file copy of the package",
    ),
    Case(
        name="add_slide_image_json (new 2 MB image)",
        function="add_slide_image_json",
        candidate=add_new_image,
        baseline=copy_package,
        check=_expect(image_part="ppt/media/image101.png", added=1),
        note=_NOTE,
    ),
    Case(
        name="add_slide_movie_json",
        function="add_slide_movie_json",
        candidate=add_movie,
        baseline=copy_package,
        check=_expect(media_part="ppt/media/media1.mp4", added=2),
        note=_NOTE,
    ),
    Case(
        name="add_slide_ole_object_json",
        function="add_slide_ole_object_json",
        candidate=add_object,
        baseline=copy_package,
        check=_expect(ole_part="ppt/embeddings/oleObject1.bin", added=2),
        note=_NOTE,
    ),
    Case(
        name="replace_slide_image_at_index_json",
        function="replace_slide_image_at_index_json",
        candidate=replace_image,
        baseline=copy_package,
        check=_expect(replaced_parts=["ppt/media/image1.png"]),
        note=_NOTE,
    ),
]
