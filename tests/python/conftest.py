"""Shared pytest fixtures: generated decks and the location of the real decks."""

import itertools
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "fixtures"))

from deck_builder import build_deck  # noqa: E402
from package_lint import SCHEMAS  # noqa: E402,F401  (the schemas, beside the decks)

# Real decks live beside the repository, never inside it.
SHARED_DECKS = ROOT.parent / "shared" / "decks"


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "reader: opens outputs in the presentation program (deselect with -m 'not reader')")


@pytest.fixture
def deck(tmp_path):
    """Factory: ``deck(name=None, **build_deck options) -> Path`` inside tmp_path."""
    counter = itertools.count(1)

    def make(name=None, **options):
        return build_deck(tmp_path / (name or f"deck{next(counter)}.pptx"), **options)

    return make


@pytest.fixture
def shared_decks():
    """The folder of real decks; the test is skipped when it is not beside the repository."""
    if not SHARED_DECKS.is_dir():
        pytest.skip(f"real decks not found at {SHARED_DECKS}")
    return SHARED_DECKS
