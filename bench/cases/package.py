"""Package-level cases: the manifest of the large deck and of the text-only decks, against the
same manifest computed with zipfile and hashlib (inflate and SHA-256 of every part)."""

from __future__ import annotations

import json

from cases.many_slides import DECKS
from reference_manifest import zipfile_manifest
from registry import BenchContext, Case


def same_manifest(candidate: str, baseline: dict, ctx: BenchContext) -> None:
    got = json.loads(candidate)
    if got != baseline:
        raise AssertionError("inspect_package_json and the zipfile manifest differ")


CASES = [
    Case(
        name=f"inspect_package_json [{deck_name}]",
        function="inspect_package_json",
        candidate=lambda ctx, deck=deck: ctx.native.inspect_package_json(str(deck(ctx))),
        baseline=lambda ctx, deck=deck: zipfile_manifest(str(deck(ctx))),
        check=same_manifest,
        goal=1.2,
        note=f"{deck_name}; baseline: zipfile + hashlib, same manifest",
    )
    for deck_name, (deck, _) in DECKS.items()
]
