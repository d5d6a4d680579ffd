#!/usr/bin/env python3
"""Checks that every #include of the tree goes down the layers.

    check-layers.py [TREE]

A layer is a folder of the tree; LAYERS below lists them lowest first, each with
the layers it may include directly. A layer may include what its arrows reach,
directly or through other layers (as a build target sees the include roots of the
targets its dependencies link). tests/, bench/ and fuzz/ sit above every layer.

Prints the layers and their arrows, then every include that goes anywhere else
(up, or sideways to a layer the arrows do not reach) with its file and line, every
source file that lies in no layer, and every CMake file that gives a target the
whole tree as an include root (quillet_include_root gives one folder instead).
Exit status 1 when there is any, else 0.
"""
import os
import re
import sys

# The layers, lowest first: (folder, the layers it may include directly).
# The one place that says which layer may use which.
LAYERS = [
    ("platform/log", []),
    ("platform/threads", []),
    ("platform/text", []),
    ("platform/xml", ["platform/text"]),
    ("platform/zip", ["platform/text"]),
    ("platform/win", ["platform/text", "platform/threads"]),
    ("platform/audio", ["platform/log", "platform/threads"]),
    ("platform/desktop", ["platform/win"]),
    ("platform/hook", ["platform/desktop"]),
    ("mediainfo", ["platform/text"]),
    ("engine/types", []),
    ("engine/bass", ["platform/audio", "platform/log"]),
    ("plugins", ["engine/types", "engine/bass", "platform/win", "platform/desktop"]),
    ("plugins/visual", ["plugins", "platform/win"]),
    ("engine", ["plugins", "mediainfo"]),
    ("playlist", ["engine", "platform/xml"]),
    ("playlist/window", ["playlist", "platform/win"]),
    ("resources", []),
    ("shell", ["playlist/window", "platform/zip", "platform/hook", "resources"]),
    ("tools", ["engine"]),
    ("quilletplay.cpp", ["shell"]),
]
# Layers that may include only these files of the layers below them (their own
# files aside): a plug-in library sees the plug-in interface, never the host.
ONLY = {
    "plugins/visual": {"plugins/WinampVis.h", "platform/win/WinApi.h", "platform/win/WinTypes.h"},
}
# Above every layer: they may include anything.
TOP = ["tests", "bench", "fuzz"]

SOURCE_EXTENSIONS = (".h", ".hpp", ".c", ".cc", ".cpp")
SKIPPED_DIRS = {".git", "build"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
WHOLE_TREE_ROOT = re.compile(r'target_include_directories\([^)]*\$\{(PROJECT|CMAKE)_SOURCE_DIR\}[\s)]')


def table_problems():
    """Arrows that point at an unknown layer or at one not below their own."""
    problems = []
    seen = set()
    for layer, arrows in LAYERS:
        for target in arrows:
            if target not in seen:
                problems.append(f"layer table: {layer} -> {target}: {target} is not a layer listed below {layer}")
        seen.add(layer)
    return problems


def reachable():
    """Every layer with the set of layers it may include (itself included)."""
    allowed = {}
    for layer, arrows in LAYERS:  # lowest first, so every arrow's set is known
        allowed[layer] = {layer}.union(*(allowed.get(a, {a}) for a in arrows))
    return allowed


def layer_of(path):
    """The layer of a tree-relative path (the longest folder that holds it), 'top'
    for tests/bench/fuzz, None when it lies in no layer."""
    best = None
    for layer, _ in LAYERS:
        if path == layer or path.startswith(layer + "/"):
            if best is None or len(layer) > len(best):
                best = layer
    if best is None and path.split("/", 1)[0] in TOP:
        return "top"
    return best


def files_of(tree, wanted):
    for folder, dirs, files in os.walk(tree):
        dirs[:] = sorted(d for d in dirs if d not in SKIPPED_DIRS)
        for name in sorted(files):
            if wanted(name):
                yield os.path.relpath(os.path.join(folder, name), tree).replace(os.sep, "/")


def whole_tree_roots(tree):
    """CMake files whose targets see every folder of the tree."""
    problems = []
    for path in files_of(tree, lambda name: name == "CMakeLists.txt" or name.endswith(".cmake")):
        with open(os.path.join(tree, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for match in WHOLE_TREE_ROOT.finditer(text):
            number = text.count("\n", 0, match.start()) + 1
            problems.append(f"{path}:{number}: the whole tree as an include root (use quillet_include_root)")
    return problems


def resolve(tree, includer, name):
    """The tree-relative path of a quoted include, or None for a file outside the tree."""
    beside = os.path.normpath(os.path.join(os.path.dirname(includer), name))
    if os.path.isfile(os.path.join(tree, beside)) and not beside.startswith(".."):
        return beside.replace(os.sep, "/")
    if os.path.isfile(os.path.join(tree, name)):
        return os.path.normpath(name).replace(os.sep, "/")
    return None


def check(tree):
    allowed = reachable()
    problems = table_problems() + whole_tree_roots(tree)
    files = includes = 0
    for path in files_of(tree, lambda name: name.endswith(SOURCE_EXTENSIONS)):
        source_layer = layer_of(path)
        if source_layer is None:
            problems.append(f"{path}: in no layer (add its folder to LAYERS in scripts/check-layers.py)")
            continue
        files += 1
        with open(os.path.join(tree, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = resolve(tree, path, match.group(1))
                if target is None:
                    continue
                includes += 1
                target_layer = layer_of(target)
                only = ONLY.get(source_layer)
                if only is not None and target_layer != source_layer and target not in only:
                    problems.append(f'{path}:{number}: {source_layer} may include only '
                                    f'{", ".join(sorted(only))} below it ("{match.group(1)}")')
                    continue
                if source_layer == "top" or target_layer in allowed[source_layer]:
                    continue
                problems.append(f'{path}:{number}: {source_layer} -> {target_layer or "no layer"} '
                                f'("{match.group(1)}") is not an allowed arrow')
    return files, includes, problems


def main():
    tree = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    width = max(len(layer) for layer, _ in LAYERS)
    print("layers, lowest first; a layer may include what its arrows reach:")
    for layer, arrows in LAYERS:
        print(f"  {layer:<{width}}  -> {', '.join(arrows)}" if arrows else f"  {layer}")
    print(f"  {', '.join(TOP)}: above every layer")
    files, includes, problems = check(tree)
    for problem in problems:
        print(problem)
    verdict = f"{len(problems)} problem(s)" if problems else "every include goes down"
    print(f"layer check: {files} files, {includes} includes of the tree: {verdict}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
