"""The checks every written package must pass: what a presentation program needs to open it
without a repair.

    from package_lint import check_package
    check_package(source, output)                     # faults the edit introduced fail
    check_package(source, output, reader=True, expect_text={0: "inserted"})
    check_package(None, path)                         # every fault fails

A check compares the output with the package it was made from: a fault the input already had
(a real deck with a dangling relationship, a slide the schema rejects) is not the edit's doing
and is let through. So the rules hold for any sound edit: parts added or removed, media, tables,
embedded workbooks. Each failure names the part and the rule.

The schema check runs xmllint, one process for many documents; `validate_against_schema` and
`validate_parts` offer it to tests that check a single part. The schemas lie beside the
repository (../shared/schemas); where they are absent, `check_package` and
`check_workbook_schema` leave out only the schema step (the run's summary says so once) and
every other check still runs, while a direct call of `validate_parts` or
`validate_against_schema` skips its test, saying so.
"""

from __future__ import annotations

import hashlib
import posixpath
import subprocess
import tempfile
import xml.etree.ElementTree as ET
import zipfile
from collections import Counter
from collections.abc import Mapping
from dataclasses import dataclass
from pathlib import Path
from urllib.parse import unquote

import pytest

__all__ = [
    "SCHEMAS",
    "PML_XSD",
    "SML_XSD",
    "check_package",
    "package_problems",
    "validate_against_schema",
    "validate_parts",
]

SCHEMAS = Path(__file__).resolve().parents[2].parent / "shared" / "schemas"
PML_XSD = SCHEMAS / "pml.xsd"
SML_XSD = SCHEMAS / "sml.xsd"

NS_P = "http://schemas.openxmlformats.org/presentationml/2006/main"
NS_MC = "http://schemas.openxmlformats.org/markup-compatibility/2006"
NS_P14 = "http://schemas.microsoft.com/office/powerpoint/2010/main"
NS_A = "http://schemas.openxmlformats.org/drawingml/2006/main"
NS_CT = "http://schemas.openxmlformats.org/package/2006/content-types"
NS_PKG_RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
# Attributes in these namespaces name a relationship of their part (r:id, r:embed, r:link, r:pict…).
NS_R = (
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/officeDocument/relationships",
)
OFFICE_DOCUMENT = (
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument",
)

# Roots of the parts that pml.xsd describes.
PML_ROOTS = {
    f"{{{NS_P}}}{name}"
    for name in (
        "presentation",
        "sld",
        "sldLayout",
        "sldMaster",
        "notes",
        "notesMaster",
        "handoutMaster",
    )
}

LAYOUT_CHAIN = {f"{{{NS_P}}}sld": "slideLayout", f"{{{NS_P}}}sldLayout": "slideMaster"}


# ---------------------------------------------------------------------------------------------
# Schema validation through xmllint

_validated: dict[tuple[str, bytes], str | None] = {}


def validate_parts(parts: Mapping[str, bytes], xsd: Path = PML_XSD) -> dict[str, str | None]:
    """Validates each document against ``xsd`` with one xmllint process; maps each name to None
    when it validates, else to xmllint's messages (with the name in place of the file)."""
    results, pending = {}, {}
    for name, data in parts.items():
        key = (str(xsd), hashlib.blake2b(data).digest())
        if key in _validated:
            results[name] = _validated[key]
        else:
            pending.setdefault(key, []).append(name)
    if pending:
        with tempfile.TemporaryDirectory(prefix="pelvane-lint-") as folder:
            files = {}
            for number, (key, names) in enumerate(pending.items()):
                file = f"{folder}/{number}.xml"
                Path(file).write_bytes(parts[names[0]])
                files[file] = key
            messages = _run_xmllint(xsd, list(files))
        for file, key in files.items():
            valid, lines = messages.get(file, (False, []))
            text = (
                None if valid else "\n".join(lines) or "xmllint reported nothing for this document"
            )
            _validated[key] = text
            for name in pending[key]:
                results[name] = text if text is None else text.replace(file, name)
    return results


def validate_against_schema(xml_bytes: bytes, xsd: Path = PML_XSD) -> str | None:
    """None when the document validates against ``xsd``, else xmllint's messages."""
    return validate_parts({"document": xml_bytes}, xsd)["document"]


def _run_xmllint(xsd: Path, files: list[str]) -> dict[str, tuple[bool, list[str]]]:
    """The one place xmllint runs. Its report lines start with the file they concern; a line
    that does not (a parser error's excerpt) continues the one before."""
    if not xsd.is_file():
        pytest.skip(f"schema not found: {xsd} (the schemas are not beside the repository)")
    try:
        result = subprocess.run(
            ["xmllint", "--noout", "--schema", str(xsd), *files],
            capture_output=True,
            text=True,
            errors="replace",
            timeout=300,
        )
    except FileNotFoundError:
        raise AssertionError(
            "xmllint is not installed; scripts/provision-deps.sh installs it"
        ) from None
    # 0: all valid; 1, 3, 4: a document did not parse or validate. Anything else (5: the schema
    # did not compile) is no verdict on the documents.
    if result.returncode not in (0, 1, 3, 4):
        raise AssertionError(f"xmllint failed with exit code {result.returncode}:\n{result.stderr}")
    found = {file: (False, []) for file in files}
    current = None
    for line in (result.stdout + result.stderr).splitlines():
        current = next((f for f in files if line.startswith((f + ":", f + " "))), current)
        if current is None:
            continue
        if line == f"{current} validates":
            found[current] = (True, [])
        elif line != f"{current} fails to validate":
            found[current][1].append(line)
    return found


# ---------------------------------------------------------------------------------------------
# What one XML part holds, read once per distinct content


@dataclass(frozen=True)
class XmlFacts:
    error: str | None = None  # the parser's message when not well-formed
    root: str | None = None
    alternate_content: bool = False  # holds mc:AlternateContent
    references: tuple[tuple[str, str], ...] = ()  # (attribute, relationship id)
    shape_ids: tuple[str, ...] = ()  # p:cNvPr ids that must be unique
    relationships: tuple[tuple[str, str, str, str], ...] = ()  # (Id, Type, Target, TargetMode)
    slide_lists: int = 0  # p:sldIdLst elements
    listed_slides: tuple[tuple[str, str], ...] = ()  # (id, r:id) of each p:sldId
    connections: tuple[tuple[str, str], ...] = ()  # (a:stCxn or a:endCxn, the shape id it names)
    section_slides: tuple[str, ...] | None = None  # ids of each p14:sldId; None: no sections


_facts: dict[bytes, XmlFacts] = {}


def xml_facts(data: bytes) -> XmlFacts:
    key = hashlib.blake2b(data).digest()
    if key not in _facts:
        _facts[key] = _read_facts(data)
    return _facts[key]


def _read_facts(data: bytes) -> XmlFacts:
    try:
        root = ET.fromstring(data)
    except ET.ParseError as error:
        return XmlFacts(error=str(error))
    alternate = False
    references, shape_ids, relationships, listed, connections, sections = [], [], [], [], [], None
    slide_lists = 0
    # Shape ids count once: not in an embedded object's inner picture (id 0), nor in the
    # second rendering of a shape that mc:AlternateContent offers as fallback.
    stack = [(root, True)]
    while stack:
        element, counted = stack.pop()
        tag = element.tag
        for attribute, value in element.attrib.items():
            if attribute.startswith("{") and attribute[1:].split("}", 1)[0] in NS_R and value:
                references.append((attribute.split("}", 1)[1], value))
        if tag == f"{{{NS_P}}}cNvPr" and counted:
            shape_ids.append(element.get("id", ""))
        elif tag in (f"{{{NS_A}}}stCxn", f"{{{NS_A}}}endCxn"):
            connections.append((tag.split("}", 1)[1], element.get("id", "")))
        elif tag == f"{{{NS_MC}}}AlternateContent":
            alternate = True
        elif tag == f"{{{NS_PKG_RELS}}}Relationship":
            relationships.append(
                (
                    element.get("Id", ""),
                    element.get("Type", ""),
                    element.get("Target", ""),
                    element.get("TargetMode", "Internal"),
                )
            )
        elif tag == f"{{{NS_P}}}sldIdLst":
            slide_lists += 1
        elif tag == f"{{{NS_P14}}}sectionLst":
            sections = sections or []
        elif tag == f"{{{NS_P14}}}sldId" and sections is not None:
            sections.append(element.get("id", ""))
        elif tag == f"{{{NS_P}}}sldId":
            listed.append(
                (
                    element.get("id", ""),
                    next((v for a, v in element.attrib.items() if a.endswith("}id")), ""),
                )
            )
        children = list(element)
        if tag == f"{{{NS_MC}}}AlternateContent":
            children = children[:1]
        elif tag == f"{{{NS_P}}}oleObj":
            counted = False
        stack.extend((child, counted) for child in reversed(children))
    return XmlFacts(
        None,
        root.tag,
        alternate,
        tuple(references),
        tuple(shape_ids),
        tuple(relationships),
        slide_lists,
        tuple(listed),
        tuple(connections),
        None if sections is None else tuple(sections),
    )


# ---------------------------------------------------------------------------------------------
# The package rules


@dataclass(frozen=True)
class Problem:
    part: str
    rule: str
    detail: str

    def __str__(self):
        return f"{self.part}: {self.rule}: {self.detail}"


class Package:
    """The entries of a package, read once; ``parts`` maps part names to bytes."""

    def __init__(self, path):
        self.path = Path(path)
        self.problems: list[Problem] = []
        self.parts: dict[str, bytes] = {}
        self.by_lower: dict[str, str] = {}
        try:
            archive = zipfile.ZipFile(self.path)
        except zipfile.BadZipFile as error:
            self.problems.append(Problem(self.path.name, "ZIP integrity", str(error)))
            return
        with archive:
            names = archive.namelist()
            for info in archive.infolist():
                if info.is_dir():
                    continue
                # Reading an entry checks its CRC, as testzip() does.
                try:
                    self.parts[info.filename] = archive.read(info)
                except (zipfile.BadZipFile, OSError, EOFError) as error:
                    self.problems.append(Problem(info.filename, "ZIP integrity", str(error)))
        first = {}
        for name in names:
            first.setdefault(name.lower(), name)
        for lower, count in Counter(n.lower() for n in names).items():
            if count > 1:
                self.problems.append(
                    Problem(
                        first[lower],
                        "entry names unique",
                        f"{count} entries have this name (ignoring case)",
                    )
                )
        self.by_lower = {name.lower(): name for name in self.parts}

    def xml(self, name):
        return xml_facts(self.parts[name])


def is_xml(name):
    return name.lower().endswith((".xml", ".rels"))


def rels_of(name):
    folder, base = posixpath.split(name)
    return posixpath.join(folder, "_rels", base + ".rels")


def source_of(rels_name):
    """The part a relationships part belongs to; "" for the package's own."""
    folder, base = posixpath.split(rels_name)
    return posixpath.join(posixpath.dirname(folder), base[: -len(".rels")])


def resolve(source, target):
    target = unquote(target.split("#", 1)[0])
    if target.startswith("/"):
        return posixpath.normpath(target.lstrip("/"))
    return posixpath.normpath(posixpath.join(posixpath.dirname(source), target))


def structure_problems(package: Package) -> list[Problem]:
    """Every rule but the schema's."""
    problems = list(package.problems)
    parts = package.parts

    for name in parts:
        if name.endswith("."):
            problems.append(Problem(name, "part names", "a part name may not end in '.'"))
        if is_xml(name) and package.xml(name).error:
            problems.append(Problem(name, "well-formed XML", package.xml(name).error))

    # Content types, matched ignoring ASCII case.
    types = parts.get("[Content_Types].xml")
    if types is None:
        problems.append(
            Problem("[Content_Types].xml", "content types", "the package has no content types part")
        )
    elif not package.xml("[Content_Types].xml").error:
        root = ET.fromstring(types)
        defaults = {e.get("Extension", "").lower() for e in root.iter(f"{{{NS_CT}}}Default")}
        overrides = {e.get("PartName", "").lower() for e in root.iter(f"{{{NS_CT}}}Override")}
        for name in parts:
            if name == "[Content_Types].xml":
                continue
            base = posixpath.basename(name)
            extension = base.rsplit(".", 1)[1].lower() if "." in base else ""
            if "/" + name.lower() not in overrides and extension not in defaults:
                problems.append(
                    Problem(
                        name,
                        "content types",
                        f"no Override for the part and no Default for '{extension}'",
                    )
                )

    # Relationships: internal targets exist, and every reference of a part names one of them.
    relationships = {}
    for rels in (n for n in parts if n.lower().endswith(".rels")):
        facts = package.xml(rels)
        source = source_of(rels)
        relationships[source] = facts.relationships
        for rid, count in Counter(r[0] for r in facts.relationships).items():
            if count > 1:
                problems.append(
                    Problem(rels, "relationship ids unique", f'Id "{rid}" is used {count} times')
                )
        for rid, _, target, mode in facts.relationships:
            if mode != "External" and resolve(source, target).lower() not in package.by_lower:
                problems.append(
                    Problem(
                        rels,
                        "relationship targets exist",
                        f"{rid} targets {target!r}, which is not in the package",
                    )
                )
    for name in parts:
        if not is_xml(name) or name.lower().endswith(".rels"):
            continue
        known = {r[0] for r in relationships.get(name, ())}
        for attribute, rid in package.xml(name).references:
            if rid not in known:
                problems.append(
                    Problem(
                        name,
                        "relationship ids resolve",
                        f'r:{attribute}="{rid}" names no relationship of this part',
                    )
                )
        # A slide names one layout, a layout one master.
        needed = LAYOUT_CHAIN.get(package.xml(name).root)
        if needed:
            count = sum(r[1].endswith("/" + needed) for r in relationships.get(name, ()))
            if count != 1:
                problems.append(
                    Problem(name, "layout chain", f"{count} {needed} relationships, expected 1")
                )

    # Shape ids unique within each part's shape tree; a connector is glued only to its shapes.
    for name in parts:
        if is_xml(name):
            facts = package.xml(name)
            for shape_id, count in Counter(facts.shape_ids).items():
                if count > 1:
                    problems.append(
                        Problem(name, "shape ids unique", f"id {shape_id} is used {count} times")
                    )
            for end, shape_id in facts.connections:
                if shape_id not in facts.shape_ids:
                    problems.append(
                        Problem(
                            name,
                            "connections name shapes",
                            f"a:{end} names id {shape_id}, which no shape of this part has",
                        )
                    )

    # The presentation's slide list.
    root_rels = parts.get("_rels/.rels")
    main = None
    if root_rels is not None:
        for _, kind, target, mode in package.xml("_rels/.rels").relationships:
            if kind in OFFICE_DOCUMENT and mode != "External":
                main = package.by_lower.get(resolve("", target).lower())
    if main is not None and is_xml(main):
        facts = package.xml(main)
        if facts.slide_lists > 1:
            problems.append(Problem(main, "slide list", f"{facts.slide_lists} p:sldIdLst elements"))
        rels = (
            {r[0]: r for r in package.xml(rels_of(main)).relationships}
            if rels_of(main) in parts
            else {}
        )
        for slide_id, rid in facts.listed_slides:
            relationship = rels.get(rid)
            if (
                relationship is None
                or relationship[3] == "External"
                or resolve(main, relationship[2]).lower() not in package.by_lower
            ):
                problems.append(
                    Problem(main, "slide list", f"slide {slide_id} ({rid}) names no slide part")
                )
        for slide_id, count in Counter(s[0] for s in facts.listed_slides).items():
            if count > 1:
                problems.append(
                    Problem(main, "slide list", f"slide id {slide_id} is listed {count} times")
                )
        # A program that groups slides into sections repairs any that miss a slide or name a gone one.
        if facts.section_slides is not None and list(facts.section_slides) != [
            s[0] for s in facts.listed_slides
        ]:
            problems.append(
                Problem(
                    main, "sections", "the sections, read in order, do not give the slide order"
                )
            )
    return problems


def schema_problems(package: Package, before: Package | None) -> list[Problem]:
    """PresentationML parts that the schema rejects: a new or changed part that does not
    validate, unless its input version did not validate either."""
    candidates = {}
    for name, data in package.parts.items():
        if not name.lower().endswith(".xml") or (before and before.parts.get(name) == data):
            continue
        facts = package.xml(name)
        if facts.root in PML_ROOTS and not facts.alternate_content:
            candidates[name] = data
    failures = {n: text for n, text in validate_parts(candidates).items() if text is not None}
    if before:
        earlier = {n: before.parts[n] for n in failures if n in before.parts}
        for name, text in validate_parts(earlier).items():
            if text is not None or xml_facts(earlier[name]).alternate_content:
                del failures[name]
    problems = []
    for name, text in failures.items():
        lines = text.splitlines()
        if len(lines) > 12:
            lines[12:] = [f"… and {len(lines) - 12} more lines"]
        verdict = (
            "validates against pml.xsd in the input but not in the output"
            if before and name in before.parts
            else "does not validate against pml.xsd"
        )
        problems.append(
            Problem(name, "schema", verdict + "".join(f"\n    {line}" for line in lines))
        )
    return problems


def package_problems(input_path, output_path) -> list[Problem]:
    """The faults of the output that the input (None: an empty package) does not have."""
    output = Package(output_path)
    before = Package(input_path) if input_path is not None else None
    known = set(structure_problems(before)) if before else set()
    problems = [p for p in structure_problems(output) if p not in known]
    if not PML_XSD.is_file():
        return problems  # without the schemas only their step is left out
    return problems + schema_problems(output, before)


def check_package(input_path, output_path, *, reader=False, expect_text=None, expect_pages=None):
    """Fails, naming every part and rule broken, when the package at ``output_path`` has a fault
    that the one at ``input_path`` had not (``input_path`` None: any fault).

    With ``reader`` the output is also opened in the presentation program: it must convert,
    have ``expect_pages`` pages (default: as many as the input shows) and show the texts of
    ``expect_text`` ({zero-based page: text or texts}) on their pages. Returns the output's
    reader.Reading, or None without ``reader``."""
    problems = package_problems(input_path, output_path)
    if problems:
        raise AssertionError(
            f"{output_path}: {len(problems)} problem(s):\n" + "\n".join(f"  {p}" for p in problems)
        )
    if not (reader or expect_text or expect_pages is not None):
        return None
    from reader import read_presentation

    reading = read_presentation(output_path)
    if expect_pages is None and input_path is not None:
        expect_pages = read_presentation(input_path).page_count
    if expect_pages is not None:
        assert reading.page_count == expect_pages, (
            f"{output_path}: {reading.page_count} pages, expected {expect_pages}"
        )
    for page, texts in (expect_text or {}).items():
        for text in [texts] if isinstance(texts, str) else texts:
            assert reading.shows(page, text), (
                f"{output_path}: page {page} does not show {text!r}; it shows:\n{reading.text_of(page)}"
            )
    return reading


def check_workbook_schema(parts):
    """Fails, naming each part and xmllint's messages, when a SpreadsheetML part ({name: bytes}:
    worksheets, shared strings, a workbook part) does not validate against the transitional
    sml.xsd.

    That schema knows neither markup compatibility nor the xml namespace, so each part is first
    normalised: `mc:Ignorable` goes, and with it every element and attribute of the namespaces it
    lists; `xml:space` attributes go too. Everything else is validated as written. Without the
    schemas this step is left out, like the schema step of `check_package`."""
    import io

    if not SML_XSD.is_file():
        return

    mc = f"{{{NS_MC}}}"
    xml_space = "{http://www.w3.org/XML/1998/namespace}space"

    def normalised(data):
        prefixes = {}
        for _, (prefix, uri) in ET.iterparse(io.BytesIO(data), events=("start-ns",)):
            prefixes.setdefault(prefix, uri)
        root = ET.fromstring(data)
        ignorable = tuple(
            "{" + prefixes[p] + "}" for p in root.get(mc + "Ignorable", "").split() if p in prefixes
        )
        for element in root.iter():
            for name in [
                name
                for name in element.attrib
                if name == xml_space or name.startswith((mc, *ignorable))
            ]:
                del element.attrib[name]
            for child in [
                child for child in element if ignorable and child.tag.startswith(ignorable)
            ]:
                element.remove(child)
        return ET.tostring(root)

    results = validate_parts({name: normalised(data) for name, data in parts.items()}, SML_XSD)
    failures = {name: text for name, text in results.items() if text is not None}
    assert not failures, "sml.xsd rejects:\n" + "\n".join(failures.values())
