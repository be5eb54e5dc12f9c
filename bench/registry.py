"""What a benchmark case is, and the context it runs in.

A case times one module function (the candidate) against a baseline that computes the
same result in plain Python, on the same inputs, in the same run. Cases live in
bench/cases/*.py: each module there defines ``CASES``, a list of ``Case``.
"""

from __future__ import annotations

import subprocess
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path
from types import ModuleType
from typing import Any

# The arguments of the edits the benchmarks make, after the slide index: a shape's place and
# size, and a connector between two new shapes (the shapes' kinds and places, the connector's
# kind and ends, the sites it joins).
BOX = (914400, 914400, 1828800, 914400)
CONNECTOR = (
    "rect",
    914400,
    914400,
    914400,
    457200,
    "ellipse",
    3657600,
    1828800,
    914400,
    457200,
    "bentConnector3",
    1828800,
    1143000,
    3657600,
    2057400,
    3,
    1,
)


@dataclass
class BenchContext:
    native: ModuleType  # pelvane.pelvane_native
    deck: Path  # the large generated deck (read-only)
    work: Path  # scratch folder for outputs, emptied before each case
    cache: Path  # build/bench/: inputs worth keeping between runs

    def cached(self, name: str, make: Callable[[Path], Any]) -> Path:
        """An input file under the cache, made once by ``make(path)``."""
        path = self.cache / name
        if not path.exists():
            partial = path.with_name(path.name + ".partial")
            make(partial)
            partial.replace(path)
        return path


@dataclass
class Case:
    name: str
    function: str  # the module function it needs
    candidate: Callable[[BenchContext], Any]  # calls the module
    baseline: Callable[[BenchContext], Any]  # computes the same in Python
    # Compares one candidate result with one baseline result; raises when they differ.
    check: Callable[[Any, Any, BenchContext], None] | None = None
    repeats: int | None = None  # overrides the runner's --repeats
    goal: float | None = None  # the ratio the case should stay at or under
    note: str = ""
    tags: tuple[str, ...] = field(default_factory=tuple)


ROOT = Path(__file__).resolve().parent.parent
TOOL_BUILD = ROOT / "build" / "bench-tools"


def build_tool(target: str) -> Path:
    """Builds a target of the C++ benchmark tools (Release, in build/bench-tools); its folder."""
    subprocess.run(
        [
            "cmake",
            "-S",
            str(ROOT),
            "-B",
            str(TOOL_BUILD),
            "-G",
            "Ninja",
            "-DCMAKE_BUILD_TYPE=Release",
            "-DPELVANE_BUILD_MODULE=OFF",
            "-DPELVANE_BUILD_TESTS=ON",
        ],
        check=True,
        stdout=subprocess.DEVNULL,
    )
    subprocess.run(
        ["cmake", "--build", str(TOOL_BUILD), "--target", target],
        check=True,
        stdout=subprocess.DEVNULL,
    )
    return TOOL_BUILD
