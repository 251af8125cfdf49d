#!/usr/bin/env python3
"""Checks that every project include points down the layers of the program.

    base < resources < core < ui < store < retrieval, telegram, install,
    settings, viewer < agent

A file may include headers of its own folder and of any folder ranked below
its own; the five subsystems of one rank never include each other. Tests and
benchmarks mirror the layout: tests/<folder>/ may include what src/<folder>/
may, plus the test support. Prints each offending line and exits with 1.
Usage: tools/check_layers.py [repository root]
"""
import pathlib
import re
import sys

RANKS = {
    "base": 0,
    "resources": 1,
    "core": 2,
    "ui": 3,
    "store": 4,
    "retrieval": 5,
    "telegram": 5,
    "install": 5,
    "settings": 5,
    "viewer": 5,
    "agent": 6,
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def allowed(source_folder, header_folder):
    if source_folder == header_folder:
        return True
    return RANKS[header_folder] < RANKS[source_folder]


def check_file(path, folder, root, problems):
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        target = match.group(1)
        header_folder = target.split("/", 1)[0] if "/" in target else None
        where = f"{path.relative_to(root)}:{number}: {line.strip()}"
        if header_folder is None:
            # A header beside the file (resource.h from the .rc, test support).
            continue
        if header_folder not in RANKS:
            problems.append(f"{where}  (unknown folder '{header_folder}')")
        elif folder is not None and not allowed(folder, header_folder):
            problems.append(f"{where}  ({folder}/ may not include {header_folder}/)")


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    problems = []
    for top in ("src", "tests", "bench"):
        for path in sorted((root / top).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".rc"):
                continue
            parts = path.relative_to(root / top).parts
            folder = parts[0] if len(parts) > 1 else None
            if top == "src" and folder not in RANKS:
                problems.append(f"{path.relative_to(root)}: a source folder outside the layers")
                continue
            if top != "src" and folder not in RANKS:
                # Test support, fuzz targets and benchmarks sit on top of everything.
                folder = None
            check_file(path, folder, root, problems)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check_layers: {len(problems)} include(s) against the layers", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
