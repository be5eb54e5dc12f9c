"""Arguments for calling any function of the module, found from its text signature: a value for
each parameter by name that passes the function's own checks, so that a call goes on to read
the package and the files it names. The package, the output and the folder holding the files
read by path are the caller's."""

import pelvane.pelvane_native as native

__all__ = ["FILES", "SLIDE", "argument", "parameters"]

SLIDE = "ppt/slides/slide1.xml"
# Files read by path, by parameter: their names in the caller's folder.
FILES = {
    "image_path": "image.png",
    "poster_frame_path": "image.png",
    "icon_path": "image.png",
    "movie_path": "movie.mp4",
    "object_path": "object.bin",
}
VALUES = {
    "xlsx": b"",
    "sheet_name": "Sheet1",
    "search": "Slide",
    "replacement": "t",
    "text": "t",
    "prog_id": "P",
    "relationship_id": "rId1",
    "mime_type": "video/mp4",
    "placeholder_type": "body",
    "placeholder_orient": "horz",
    "placeholder_size": None,
    "placeholder_idx": None,
    "source_slide_part": SLIDE,
    "target_slide_part": SLIDE,
    "target_slide_parts": [SLIDE],
    "ordered_survivor_parts": None,
    "child_indices": [0],
    "rows": 1,
    "cols": 1,
    "path_w": 100,
    "path_h": 100,
    "placeholders_json": '[{"placeholder_type": "title"}]',
    "operations_json": '[{"type": "move_to", "x": 0, "y": 0}]',
    "edits_json": '[{"type": "set_shape_text", "slide_index": 0, "shape_index": 0, "replacement": "t"}]',
    "cells_json": '[["B2", "n", "1"]]',
}


def parameters(name):
    """The parameters of a module function, from its text signature, defaults left out."""
    return [
        p.removesuffix("=None")
        for p in getattr(native, name).__text_signature__[1:-1].split(", ")
        if p
    ]


def argument(function, param, folder):
    """A value for the parameter `param` of `function`; files read by path lie in `folder`."""
    if param in FILES:
        return str(folder / FILES[param])
    if param.endswith("preset_geometry"):
        connector = "connector" in function and not param.startswith(("begin_", "end_"))
        return "line" if connector else "rect"
    if param.endswith("_emu"):
        return 914400
    return VALUES.get(param, "[]" if param.endswith("_json") else 0)
