"""Inspection summaries: the whole presentation summarised, against the slide texts that
zipfile and ElementTree extract in plain Python.

The module does far more than the baseline (shapes, paragraphs, run formatting, tables, notes,
relationships); the check compares what both compute: every slide's text runs in order.
Slides per second = the deck's 500 slides / the module's time.

One slide summarised from a deck behind a stub, against the same deck without it: what reading
an archive that readers scanning back from the end pass over costs, the module against itself.

A deck behind 64 MiB that its offsets do not count, every 4 bytes a local-header signature that
starts no header, refused, against one reading of the same file into a kept buffer: what telling
such bytes from entries costs where each signature must be looked at.
"""

from __future__ import annotations

import json
import os
import posixpath
import random
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

from deck_builder import build_deck
from hostile_packages import stubbed
from registry import BenchContext, Case

_REL_NS = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
_PKG_NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"
_P_NS = "{http://schemas.openxmlformats.org/presentationml/2006/main}"


def _slide_parts(archive: zipfile.ZipFile) -> list[str]:
    """Slide part names in the order of the presentation's slide-id list."""
    rels = ElementTree.fromstring(archive.read("ppt/_rels/presentation.xml.rels"))
    targets = {
        rel.get("Id"): posixpath.normpath(posixpath.join("ppt", rel.get("Target")))
        for rel in rels.iter(f"{_PKG_NS}Relationship")
        if rel.get("Type", "").endswith("/slide")
    }
    presentation = ElementTree.fromstring(archive.read("ppt/presentation.xml"))
    return [
        targets[slide_id.get(f"{_REL_NS}id")] for slide_id in presentation.iter(f"{_P_NS}sldId")
    ]


def _run_texts(xml: bytes) -> list[str]:
    """The text of every `t` element with content, trimmed, in document order."""
    texts = []
    for element in ElementTree.fromstring(xml).iter():
        if element.tag == "t" or element.tag.endswith("}t"):
            text = (element.text or "").strip(" \t\r\n")
            if text:
                texts.append(text)
    return texts


def python_slide_texts(path: str) -> list[list[str]]:
    with zipfile.ZipFile(path) as archive:
        return [_run_texts(archive.read(part)) for part in _slide_parts(archive)]


def same_texts(candidate: str, baseline: list[list[str]], ctx: BenchContext) -> None:
    summary = json.loads(candidate)
    if summary["slide_count"] != len(baseline):
        raise AssertionError("the summary and the baseline count different slides")
    if [slide["texts"] for slide in summary["slides"]] != baseline:
        raise AssertionError("summarize_presentation_json and ElementTree found different texts")


def _one_megabyte_deck(ctx: BenchContext, stub: bool) -> str:
    """A deck of 1 MB (three slides and a picture of incompressible bytes) with 100 bytes after
    its end record: random ones behind a 64 KiB stub, or zeros and no stub."""
    deck = ctx.cached(
        "summary-1mb-v1.pptx",
        lambda path: build_deck(
            path, slides=3, media={"image1.png": random.Random(5).randbytes(1 << 20)}
        ),
    )
    if stub:
        return str(
            ctx.cached(
                "summary-1mb-stub-v1.pptx",
                lambda path: path.write_bytes(
                    stubbed(deck.read_bytes(), 64 * 1024) + random.Random(9).randbytes(100)
                ),
            )
        )
    return str(
        ctx.cached(
            "summary-1mb-after-v1.pptx",
            lambda path: path.write_bytes(deck.read_bytes() + bytes(100)),
        )
    )


_CRAFTED_STUB = 64 << 20


def _crafted_stub_deck(ctx: BenchContext) -> str:
    deck = _one_megabyte_deck(ctx, stub=False)
    return str(
        ctx.cached(
            "refused-64mib-signatures-v1.pptx",
            lambda path: path.write_bytes(
                b"PK\x03\x04" * (_CRAFTED_STUB // 4) + Path(deck).read_bytes()
            ),
        )
    )


def _refusal(ctx: BenchContext) -> str:
    try:
        ctx.native.summarize_presentation_json(_crafted_stub_deck(ctx))
    except RuntimeError as error:
        return str(error)
    raise AssertionError("a deck behind bytes its offsets do not count was read")


_KEPT = bytearray()


def _one_reading(ctx: BenchContext) -> int:
    path = _crafted_stub_deck(ctx)
    if len(_KEPT) != os.path.getsize(path):
        _KEPT[:] = bytes(os.path.getsize(path))
    with open(path, "rb", buffering=0) as file:
        return file.readinto(_KEPT)


def named_stub(candidate: str, baseline: int, ctx: BenchContext) -> None:
    expected = f"{_CRAFTED_STUB} bytes before its first entry that its offsets do not count"
    if not candidate.endswith(expected):
        raise AssertionError(f"the refusal does not name the stub: {candidate}")


def same_summary(candidate: str, baseline: str, ctx: BenchContext) -> None:
    if candidate != baseline:
        raise AssertionError("the slide reads otherwise behind the stub")


CASES = [
    Case(
        name="summarize_presentation_json",
        function="summarize_presentation_json",
        candidate=lambda ctx: ctx.native.summarize_presentation_json(str(ctx.deck)),
        baseline=lambda ctx: python_slide_texts(str(ctx.deck)),
        check=same_texts,
        note="baseline: zipfile + ElementTree slide texts; slides/s = 500 / module time",
    ),
    Case(
        name="summarize_slide_at_index_json [stub, bytes after]",
        function="summarize_slide_at_index_json",
        candidate=lambda ctx: ctx.native.summarize_slide_at_index_json(
            _one_megabyte_deck(ctx, stub=True), 0
        ),
        baseline=lambda ctx: ctx.native.summarize_slide_at_index_json(
            _one_megabyte_deck(ctx, stub=False), 0
        ),
        check=same_summary,
        repeats=501,
        goal=1.15,
        note="1 MB deck behind a 64 KiB stub, 100 random bytes after; "
        "baseline: the module, no stub, 100 zero bytes after",
    ),
    Case(
        name="summarize_presentation_json [refused, 64 MiB of signatures before]",
        function="summarize_presentation_json",
        candidate=_refusal,
        baseline=_one_reading,
        check=named_stub,
        goal=10,
        note="1 MB deck behind 64 MiB of local-header signatures its offsets do not count; "
        "baseline: one reading of the file into a kept buffer",
    ),
]
