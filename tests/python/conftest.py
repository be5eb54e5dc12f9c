"""Shared pytest fixtures: generated decks and the location of the real decks."""

import itertools
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "fixtures"))

from deck_builder import build_deck  # noqa: E402
from package_lint import PML_XSD, SCHEMAS  # noqa: E402  (the schemas, beside the decks)

# Real decks live beside the repository, never inside it.
SHARED_DECKS = ROOT.parent / "shared" / "decks"


def pytest_configure(config):
    config.addinivalue_line(
        "markers",
        "reader: opens outputs in the presentation program (deselect with -m 'not reader')",
    )


def pytest_terminal_summary(terminalreporter):
    if not PML_XSD.is_file():
        terminalreporter.write_line(f"check_package skipped schema validation: {SCHEMAS} not found")


def real_decks(pattern="*.ppt[xm]", keep=None):
    """The real decks matching ``pattern`` (and ``keep``), as parameters of a test. Without the
    folder, one parameter that is skipped naming it, where an empty list would skip the test
    with no reason."""
    if not SHARED_DECKS.is_dir():
        missing = pytest.mark.skip(reason=f"real decks not found at {SHARED_DECKS}")
        return [pytest.param(None, id="no-real-decks", marks=missing)]
    return [path for path in sorted(SHARED_DECKS.glob(pattern)) if keep is None or keep(path)]


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
