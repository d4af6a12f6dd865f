#!/usr/bin/env python3
"""Holds every #include "..." of the tree to the layering that the README's layout table states.

Each row of that table names a room (a folder, or named files of a folder, as the processor levels
of dsp/) and the rooms its files may include. A file's room is the most specific row that claims it:
a row that names the file, else the row of the deepest folder that holds it, so that plug/core/ and
gfx/controls/ are rooms of their own beside plug/ and gfx/. The headers of the drawing back end's
libraries (Cairo, FreeType, stb) are held to the few files that wrap them (LIBRARY_HEADERS).

Prints one line per violation and exits 1 when there is any; exits 0 quietly otherwise.
"""
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# The drawing back end's libraries reach only the files that wrap them: Cairo's and FreeType's
# headers the Cairo layer's drawing and resources (and the impulse-response plotter, a tool that
# draws with Cairo itself), stb's headers their compilation units.
LIBRARY_HEADERS = [
    (re.compile(r"(cairo|ft2build|freetype)"),
     {"gfx/ISurfaceCairo.cpp", "gfx/CairoResources.h", "gfx/CairoResources.cpp", "tools/quillon_ir_plot.cpp"}),
    (re.compile(r"stb_"), {"gfx/CairoResources.cpp", "gfx/StbImage.cpp", "gfx/ITextEntryControl.cpp"}),
]


def room_name(cell):
    """'`dsp/` processor levels (`ProcessorLevel`)' -> 'dsp/ processor levels'; '`plug/core/`' -> 'plug/core/'."""
    return cell.split("(")[0].replace("`", "").strip()


def layout_rows(readme):
    """(room, member stems or None, allowed rooms) for each row of the layout table."""
    lines = readme.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("## Layout"))
    rows = []
    for line in lines[start + 1:]:
        if line.startswith("## "):
            break
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) < 3 or not cells[0].startswith("`"):
            continue
        room = room_name(cells[0])
        members = set(re.findall(r"`([^`]+)`", cells[0].split("(", 1)[1])) if "(" in cells[0] else None
        allowed = {room_name(c) for c in cells[1].split(",") if c.strip()}
        allowed.add(room)
        rows.append((room, members, allowed))
    return rows


def room_of(path, rows):
    folder, stem = str(path.parent) + "/", path.stem
    for room, members, _ in rows:
        if members is not None and folder == room.split()[0] and stem in members:
            return room
    best = None
    for room, members, _ in rows:
        if members is None and folder.startswith(room) and (best is None or len(room) > len(best)):
            best = room
    return best


def library_header_faults(files):
    """One line for each include of a LIBRARY_HEADERS header outside the files allowed it."""
    faults = []
    for name in files:
        for number, line in enumerate((ROOT / name).read_text().splitlines(), 1):
            match = re.match(r"\s*#\s*include\s+<([^>]+)>", line)
            if not match:
                continue
            for pattern, allowed in LIBRARY_HEADERS:
                if pattern.match(match.group(1)) and name not in allowed:
                    faults.append(f"{name}:{number}: only {', '.join(sorted(allowed))} may include <{match.group(1)}>")
    return faults


def main():
    rows = layout_rows((ROOT / "README.md").read_text())
    allowed = {room: rooms for room, _, rooms in rows}
    unknown = sorted({r for rooms in allowed.values() for r in rooms} - set(allowed))
    faults = [f"README.md: the layout table allows {r}, which no row names" for r in unknown]
    # Files git tracks, and new ones it does not ignore, so that the check holds before a commit.
    listing = ["git", "ls-files", "--cached", "--others", "--exclude-standard", "*.h", "*.cpp"]
    files = subprocess.run(listing, cwd=ROOT, capture_output=True, text=True, check=True).stdout.split()
    for name in files:
        path = pathlib.Path(name)
        room = room_of(path, rows)
        if room is None:
            faults.append(f"{name}: no row of the README's layout table claims this file")
            continue
        for number, line in enumerate((ROOT / path).read_text().splitlines(), 1):
            match = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not match:
                continue
            target = pathlib.Path(match.group(1))
            target_room = room_of(target, rows)
            if target_room is None or "/" not in match.group(1):
                faults.append(f"{name}:{number}: include \"{target}\" by its path from the top of the tree")
            elif target_room not in allowed[room]:
                faults.append(f"{name}:{number}: {room} may not include {target} ({target_room})")

    faults += library_header_faults(files)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
