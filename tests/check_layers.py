#!/usr/bin/env python3
"""Checks the include graph between the program's folders.

No folder may include, directly or through others, a folder that includes it.
On top of that the layers keep their own rules: convert/ stands on app/ only,
news/ knows nothing of ui/, and the decoder itself includes no Qt.
Usage: check_layers.py SOURCE_DIR
"""
import re
import sys
from pathlib import Path

FOLDERS = ["app", "convert", "ui", "news", "cli"]
# What each folder may include besides itself.
ALLOWED = {
    "app": set(),
    "convert": {"app"},
    "news": {"app"},
    "ui": {"app", "convert", "news"},
    "cli": {"convert", "app"},
}
# Where a folder may include only some files of another: the command-line
# tool takes the code-page table from app/ and nothing else of the window side.
ONLY = {("cli", "app"): {"app/Windows1252.h"}}
NO_QT = ["convert/DecodeFormText.h", "convert/DecodeFormText.cpp",
         "convert/FormStreamDecoder.h", "convert/FormStreamDecoder.cpp",
         "convert/FormFieldSplitter.h", "convert/FormFieldSplitter.cpp",
         "convert/PlainFormSplitter.h", "convert/PlainFormSplitter.cpp", "app/Windows1252.h"]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)


def includes(path):
    return INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace"))


def folder_of(root, source, name):
    """The folder that a quoted include names, or None for one outside the layers."""
    if (source.parent / name).exists():
        target = (source.parent / name).resolve()
    elif (root / name).exists():
        target = (root / name).resolve()
    else:
        return None
    parts = target.relative_to(root).parts
    return parts[0] if len(parts) > 1 and parts[0] in FOLDERS else None


def find_cycle(edges):
    """A cycle of folders as a list, or None."""
    state = {}

    def visit(node, path):
        state[node] = "open"
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, path + [nxt])
                if found:
                    return found
        state[node] = "done"
        return None

    for start in sorted(edges):
        if start not in state:
            found = visit(start, [start])
            if found:
                return found
    return None


def main():
    root = Path(sys.argv[1]).resolve()
    faults = []
    edges = {f: set() for f in FOLDERS}
    for folder in FOLDERS:
        for source in sorted((root / folder).glob("*")):
            if source.suffix not in (".h", ".cpp"):
                continue
            for kind, name in includes(source):
                if kind != '"':
                    continue
                target = folder_of(root, source, name)
                if target and target != folder:
                    edges[folder].add(target)
                    only = ONLY.get((folder, target))
                    if target not in ALLOWED[folder] or (only and name not in only):
                        faults.append(f"{source.relative_to(root)} includes {name}: "
                                      f"{folder}/ may not include {target}/")
    cycle = find_cycle(edges)
    if cycle:
        faults.append("include circle between folders: " + " -> ".join(cycle))
    for name in NO_QT:
        for kind, included in includes(root / name):
            if kind == "<" and re.match(r"Q[A-Z]|Qt", included):
                faults.append(f"{name} includes Qt: <{included}>")
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print("layers: " + ", ".join(f"{f} -> {sorted(edges[f])}" for f in FOLDERS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
