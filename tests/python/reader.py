"""Opens a package the way a user would: a presentation program, headless, turns it into a PDF,
whose pages and text the tests then read.

    from reader import read_presentation
    reading = read_presentation(path)        # fails unless the program wrote a non-empty PDF
    reading.page_count, reading.shows(0, "inserted text")

The program is soffice (scripts/provision-deps.sh installs it); the PDF tools are poppler's.
Each test process keeps its own profile folder, so parallel workers (pytest -n) never share
one, and a conversion that hangs is ended after ``TIMEOUT`` seconds.
"""

from __future__ import annotations

import atexit
import hashlib
import os
import shutil
import signal
import subprocess
import tempfile
from dataclasses import dataclass
from pathlib import Path

__all__ = ["TIMEOUT", "Reading", "read_presentation"]

TIMEOUT = 60


@dataclass(frozen=True)
class Reading:
    """What the program showed: the page count and each page's text, as pdftotext extracts it
    in reading order (``pages``) and in content-stream order (``raw_pages``, where an inserted
    text box does not share a line with the slide's own text)."""

    page_count: int
    pages: tuple[str, ...]
    raw_pages: tuple[str, ...]

    def shows(self, page: int, text: str) -> bool:
        """Whether the page holds the text, whitespace and line breaks counting as one space."""
        wanted = _squeeze(text)
        return any(
            page < len(texts) and wanted in _squeeze(texts[page])
            for texts in (self.pages, self.raw_pages)
        )

    def text_of(self, page: int) -> str:
        return self.pages[page] if page < len(self.pages) else f"(no page {page})"


def _squeeze(text):
    return " ".join(text.split())


_profile: Path | None = None


def _profile_folder() -> Path:
    """This process's own profile, made on first use and removed when the process ends."""
    global _profile
    if _profile is None:
        _profile = Path(tempfile.mkdtemp(prefix=f"pelvane-soffice-{os.getpid()}-"))
        atexit.register(shutil.rmtree, _profile, True)
    return _profile


def _run(command, timeout):
    """Runs a command in its own process group, killing the whole group on timeout (soffice
    starts helper processes that would outlive it)."""
    process = subprocess.Popen(
        command,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        errors="replace",
        start_new_session=True,
    )
    try:
        output, errors = process.communicate(timeout=timeout)
        return process.returncode, output, errors
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, errors = process.communicate()
        return None, output, errors


def _tool(name):
    found = shutil.which(name)
    if found is None:
        raise AssertionError(f"{name} is not installed; scripts/provision-deps.sh installs it")
    return found


_readings: dict[bytes, Reading] = {}


def read_presentation(path, timeout: float = TIMEOUT) -> Reading:
    """Converts the package at ``path`` to PDF and reads it back. Fails, with the program's
    output, unless a non-empty PDF was written: soffice exits 0 even when it could not open
    the file. Readings are remembered by content, since many tests read the same input."""
    path = Path(path)
    key = hashlib.blake2b(path.read_bytes()).digest()
    if key not in _readings:
        _readings[key] = _convert(path, timeout)
    return _readings[key]


def _convert(path: Path, timeout: float) -> Reading:
    global _profile
    soffice, pdftotext = _tool("soffice"), _tool("pdftotext")
    with tempfile.TemporaryDirectory(prefix="pelvane-pdf-") as folder:
        # A copy with a plain name: the PDF is named after the input.
        source = Path(folder) / ("deck" + path.suffix.lower())
        shutil.copyfile(path, source)
        code, output, errors = _run(
            [
                soffice,
                f"-env:UserInstallation={_profile_folder().as_uri()}",
                "--headless",
                "--norestore",
                "--convert-to",
                "pdf",
                "--outdir",
                folder,
                str(source),
            ],
            timeout,
        )
        pdf = source.with_suffix(".pdf")
        if code is None:
            # The killed program may have left its profile locked: the next one starts afresh.
            shutil.rmtree(_profile, ignore_errors=True)
            _profile = None
            raise AssertionError(
                f"the presentation program did not convert {path} within {timeout} s:\n"
                f"{output}{errors}"
            )
        if not pdf.is_file() or pdf.stat().st_size == 0:
            raise AssertionError(
                f"the presentation program did not convert {path} "
                f"(exit code {code}, no PDF written):\n{output}{errors}"
            )
        texts = []
        for mode in ([], ["-raw"]):
            code, text, errors = _run([pdftotext, *mode, str(pdf), "-"], timeout)
            assert code == 0, f"pdftotext failed on the PDF of {path}:\n{errors}"
            # Pages end with a form feed.
            texts.append(tuple(text.split("\f")[:-1]))
        pages, raw_pages = texts
        return Reading(len(pages), pages, raw_pages)
