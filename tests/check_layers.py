#!/usr/bin/env python3
"""Checks that the program's layers stand on one another, bottom to top.

Each source file belongs to one layer, by its place in the tree. A layer may
use only the layers the table below allows, and no two layers may use each
other, directly or through others. This is checked twice: on the quoted
#include lines of the sources, and, given a build folder, on the object files,
where every symbol that an object of one layer needs must be defined in its
own layer or one it may use; a declaration whose definition lives higher up
(which the includes alone would not show) fails there. The decoders, the file
classes and the command-line tool include no Qt, and, given the program, no
test hook is built into it.

Usage: check_layers.py SOURCE_DIR [--objects BUILD_DIR] [--program FORMTIDY]
"""
import argparse
import re
import subprocess
import sys
from pathlib import Path

# Bottom to top; each layer with the layers it may use.
ALLOWED = {
    "decoder": set(),
    "files": set(),
    "framework": {"files", "decoder"},
    "commands": {"framework", "files", "decoder"},
    "news": {"framework", "files", "decoder"},
    "ui": {"commands", "news", "framework", "files", "decoder"},
    "app": {"ui", "commands", "news", "framework", "files", "decoder"},
    "cli": {"files", "decoder"},
}
NO_QT = {"decoder", "files", "cli"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)


def layer_of(relative):
    """The layer of a source file given by its path in the tree, or None."""
    parts = Path(relative).parts
    if len(parts) < 2:
        return None
    top = parts[0]
    if top == "app":
        return "framework" if len(parts) > 2 and parts[1] == "framework" else "app"
    if top == "convert":
        # The commands that feed the decoders stand beside them.
        return "commands" if "Command" in parts[-1] else "decoder"
    if top in ("files", "news", "ui", "cli"):
        return top
    return None


def sources(root):
    for path in sorted(root.rglob("*")):
        if path.suffix in (".h", ".cpp") and layer_of(path.relative_to(root)):
            yield path


def resolve(root, source, name):
    for candidate in (source.parent / name, root / name):
        if candidate.exists():
            return candidate.resolve().relative_to(root)
    return None


def find_cycle(edges):
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


def check_edges(edges, faults, what):
    for user, used in sorted(edges.items()):
        for layer, example in sorted(used.items()):
            if layer not in ALLOWED[user]:
                faults.append(f"{example}: {user} may not use {layer}")
    cycle = find_cycle({user: set(used) for user, used in edges.items()})
    if cycle:
        faults.append(f"circle between layers in the {what}: " + " -> ".join(cycle))


def check_includes(root, faults):
    edges = {layer: {} for layer in ALLOWED}
    for source in sources(root):
        relative = source.relative_to(root)
        layer = layer_of(relative)
        text = source.read_text(encoding="utf-8", errors="replace")
        for kind, name in INCLUDE.findall(text):
            if kind == "<":
                if layer in NO_QT and re.match(r"Q[A-Z]|Qt", name):
                    faults.append(f"{relative} includes Qt: <{name}>")
                continue
            target = resolve(root, source, name)
            other = layer_of(target) if target else None
            if other and other != layer:
                edges[layer].setdefault(other, f"{relative} includes {name}")
    check_edges(edges, faults, "includes")
    return edges


def nm(path):
    out = subprocess.run(["nm", "-P", "-C", str(path)], capture_output=True, text=True,
                         check=True).stdout
    for line in out.splitlines():
        # "NAME TYPE [VALUE SIZE]"; a demangled name may hold spaces.
        match = re.match(r"^(.*) ([A-Za-z])( +[0-9a-f]+){0,2} *$", line)
        if match:
            yield match.group(1), match.group(2)


def check_objects(root, build, faults):
    # build/CMakeFiles/TARGET.dir/FOLDER/FILE.cpp.o
    owner = {}
    needs = []
    for obj in sorted(build.glob("CMakeFiles/*.dir/**/*.o")):
        relative = Path(*obj.relative_to(build).parts[2:])
        source = relative.with_suffix("")  # drop .o
        layer = layer_of(source) if (root / source).exists() else None
        if not layer:
            continue
        for name, kind in nm(obj):
            if kind == "U":
                needs.append((layer, source, name))
            elif kind in "TDBR":  # strong definitions; weak ones stand in every user
                owner.setdefault(name, (layer, source))
    edges = {layer: {} for layer in ALLOWED}
    for layer, source, name in needs:
        found = owner.get(name)
        if found and found[0] != layer:
            edges[layer].setdefault(found[0], f"{source} uses {name}, defined in {found[1]}")
    check_edges(edges, faults, "object files")
    return edges


def check_program(program, faults):
    symbols = [name for name, _ in nm(program)]
    hooks = [s for s in symbols if "TypingHook" in s]
    if hooks:
        faults.append(f"{program} holds the test hook: {hooks[0]}")
    if b"FORMTIDY_TEST" in Path(program).read_bytes():
        faults.append(f"{program} looks for a test variable (FORMTIDY_TEST...)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("--objects")
    parser.add_argument("--program")
    args = parser.parse_args()
    root = Path(args.source).resolve()
    faults = []
    edges = check_includes(root, faults)
    if args.objects:
        edges = check_objects(root, Path(args.objects).resolve(), faults)
    if args.program:
        check_program(args.program, faults)
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print("layers: " + "; ".join(f"{layer} -> {', '.join(sorted(edges[layer])) or '-'}"
                                 for layer in ALLOWED))
    return 0


if __name__ == "__main__":
    sys.exit(main())
