#!/usr/bin/env python3
"""Checks the project's include graph: the floors of app/ and core/, no cycles, and project
headers included by their folder.

Usage: check_floors.py [SOURCE_DIR]   (default: the repository this script is in)

Each folder may include only from the folders below it (and from itself):
  core:  services < display < weather
  app:   widgets < base < the screens (gauges, conditions, forecast, alerts, radar, tray,
         options, which may use one another) < shell < the program's own files in app/
The program's folders may include all of core; core includes nothing of app.

A class is its header and source together; there is no cycle of includes among the program's
classes, and none among core's folders (inside a core folder, classes that work as one, such as
a model and its provider, may know each other). Inside the project an app or core header is always named with its
folder ("widgets/VPLabel.h"), so where a header lives shows where it may be used.

Prints every fault and exits with 1 when there is one.
"""

import os
import re
import sys

CORE_FLOORS = {"services": 0, "display": 1, "weather": 2}
SCREENS = ("gauges", "conditions", "forecast", "alerts", "radar", "tray", "options")
APP_FLOORS = {"widgets": 10, "base": 11, **{s: 12 for s in SCREENS}, "shell": 13, "": 14}
SCREEN_FLOOR = 12

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
# Pairs of the program's classes that know each other by design: the conditions panel builds its
# provider-link updater, and the updater reads the panel's provider link label through the panel
# it is given (its constructor takes the panel). Neither header includes the other.
KNOWN_PAIRS = {frozenset({"app/conditions/CurrentConditionsPanel",
                          "app/conditions/ProviderLinkUpdater"})}
SCANNED_ROOTS = ("app", "core", "tests", "bench", "tools")


def project_files(source_dir):
    for root in SCANNED_ROOTS:
        top = os.path.join(source_dir, root)
        for folder, dirs, files in os.walk(top):
            dirs[:] = sorted(d for d in dirs if not d.startswith("."))
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(folder, name), source_dir)


def layer_of(path):
    """("app"|"core", folder) of a file of the library or the program, else None."""
    parts = path.split(os.sep)
    if parts[0] not in ("app", "core"):
        return None
    folder = parts[1] if len(parts) > 2 else ""
    return parts[0], folder


def floor(layer):
    side, folder = layer
    table = CORE_FLOORS if side == "core" else APP_FLOORS
    return table.get(folder)


def may_include(source, target):
    if source == target:
        return True
    if target[0] == "app" and source[0] == "core":
        return False
    if source[0] != target[0]:
        return True  # the program uses the library
    low, high = floor(target), floor(source)
    if low is None or high is None:
        return False
    if low == high == SCREEN_FLOOR:
        return True  # a screen may show another one (no cycle: checked below)
    return low < high


def unit_of(path):
    return os.path.splitext(path)[0]


def strongly_connected(graph):
    """Tarjan's components of more than one node (or a node that reaches itself)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = [0]

    def visit(node):
        # Iterative, so a long chain cannot exhaust Python's recursion limit.
        work = [(node, iter(sorted(graph.get(node, ()))))]
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        while work:
            current, edges = work[-1]
            advanced = False
            for nxt in edges:
                if nxt not in index:
                    index[nxt] = low[nxt] = counter[0]
                    counter[0] += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph.get(nxt, ())))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[current] = min(low[current], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[current])
            if low[current] == index[current]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == current:
                        break
                if len(component) > 1 or current in graph.get(current, ()):
                    found.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def check(source_dir):
    files = list(project_files(source_dir))
    library_headers = {}
    for path in files:
        if layer_of(path) is not None and path.endswith((".h", ".hpp")):
            library_headers.setdefault(os.path.basename(path), []).append(path)

    faults = []
    unit_graph = {}
    folder_graph = {}
    for path in files:
        with open(os.path.join(source_dir, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        source_layer = layer_of(path)
        for match in INCLUDE.finditer(text):
            name = match.group(1)
            line = text.count("\n", 0, match.start()) + 1
            where = f"{path}:{line}"
            if "/" not in name:
                if name in library_headers:
                    faults.append(f"{where}: \"{name}\" is named without its folder "
                                  f"(\"{library_headers[name][0].split(os.sep, 1)[1]}\")")
                continue
            target = None
            for root in ("app", "core"):
                candidate = os.path.join(root, name)
                if os.path.isfile(os.path.join(source_dir, candidate)):
                    target = candidate
                    break
            if target is None or source_layer is None:
                continue
            target_layer = layer_of(target)
            if not may_include(source_layer, target_layer):
                faults.append(f"{where}: {'/'.join(source_layer)} may not include "
                              f"\"{name}\" ({'/'.join(target_layer)} is not below it)")
            source_unit, target_unit = unit_of(path), unit_of(target)
            if source_layer[0] == target_layer[0] == "app" and source_unit != target_unit:
                unit_graph.setdefault(source_unit, set()).add(target_unit)
            if source_layer[0] == target_layer[0] == "core" and source_layer != target_layer:
                folder_graph.setdefault(source_layer[1], set()).add(target_layer[1])

    for component in strongly_connected(unit_graph):
        if frozenset(component) in KNOWN_PAIRS:
            continue
        faults.append("cycle of includes among the program's classes " + ", ".join(component))
    for component in strongly_connected(folder_graph):
        faults.append("cycle of includes among core's folders " + ", ".join(component))
    return faults


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    source_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(here))
    faults = check(source_dir)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} fault(s) in the include graph")
        return 1
    print("The include graph keeps its floors and has no cycle.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
