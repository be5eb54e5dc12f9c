"""Package-level cases: the manifest."""

from __future__ import annotations

import hashlib
import json
import zipfile

from registry import BenchContext, Case


def part_kind(name: str) -> str:
    if name.endswith(".rels"):
        return "relationships"
    if name.endswith("vbaProject.bin"):
        return "vba"
    if name.endswith(".xml"):
        return "xml"
    if name.startswith("ppt/media/"):
        return "media"
    if name.startswith("ppt/embeddings/"):
        return "embedding"
    return "binary"


def python_manifest(path: str) -> dict:
    """The manifest as zipfile and hashlib compute it: every entry read and digested."""
    parts = []
    with zipfile.ZipFile(path) as archive:
        for info in archive.infolist():
            digest, size = hashlib.sha256(), 0
            with archive.open(info) as entry:
                while chunk := entry.read(1 << 20):
                    digest.update(chunk)
                    size += len(chunk)
            parts.append({"name": info.filename, "size": size, "sha256": digest.hexdigest(),
                          "kind": part_kind(info.filename)})
    parts.sort(key=lambda part: part["name"].encode("utf-8"))
    return {"path": path, "parts": parts}


def same_manifest(candidate: str, baseline: dict, ctx: BenchContext) -> None:
    got = json.loads(candidate)
    if got != baseline:
        raise AssertionError("inspect_package_json and the zipfile manifest differ")


CASES = [
    Case(
        name="inspect_package_json",
        function="inspect_package_json",
        candidate=lambda ctx: ctx.native.inspect_package_json(str(ctx.deck)),
        baseline=lambda ctx: python_manifest(str(ctx.deck)),
        check=same_manifest,
        note="baseline: zipfile + hashlib, same manifest",
    ),
]
