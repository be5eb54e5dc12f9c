"""Package-level cases: the manifest."""

from __future__ import annotations

import json

from reference_manifest import zipfile_manifest
from registry import BenchContext, Case


def same_manifest(candidate: str, baseline: dict, ctx: BenchContext) -> None:
    got = json.loads(candidate)
    if got != baseline:
        raise AssertionError("inspect_package_json and the zipfile manifest differ")


CASES = [
    Case(
        name="inspect_package_json",
        function="inspect_package_json",
        candidate=lambda ctx: ctx.native.inspect_package_json(str(ctx.deck)),
        baseline=lambda ctx: zipfile_manifest(str(ctx.deck)),
        check=same_manifest,
        note="baseline: zipfile + hashlib, same manifest",
    ),
]
