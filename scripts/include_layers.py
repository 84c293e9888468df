#!/usr/bin/env python3
"""Prints the layers of the code's include graph and fails when an include runs upward.

Every file under src/ and tools/ is read for its quoted includes ("..."), resolved the way the
build resolves them (beside the including file, then src/, then res/). Files are grouped into
units: the folder under src/ (src/utils/text.h is in "utils"), a tool (tools/mkpackage is
"mkpackage"), or "res" for the resource ids. Includes that resolve to no file of ours (the system's
and third-party headers) are left out.

The check fails, naming the files, when
  - files (a header with its source counting as one) include each other in a circle,
  - units include each other in a circle, or
  - a unit includes one that LAYERS below puts at its own level or above it.
It prints one line per unit: its layer (0 includes nothing of ours), its name and the units it
includes.

    scripts/include_layers.py [REPO]
"""
import os
import re
import sys

# The units from the bottom up; a unit may include only units of lower lines. Units on one line
# may not include each other. A unit the list does not name fails the check.
LAYERS = [
    ["res"],
    ["utils"],
    ["package", "ui", "host"],
    ["archive"],
    ["downloader"],
    ["driver", "uninstaller"],
    ["install", "mkpackage"],
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCE_ENDINGS = (".h", ".hpp", ".cpp", ".c")


def unit_of(repo, path):
    rel = os.path.relpath(path, repo).replace(os.sep, "/")
    parts = rel.split("/")
    if parts[0] == "src":
        return parts[1] if len(parts) > 2 else "package"
    if parts[0] == "tools":
        return parts[1]
    return parts[0]


def collect_files(repo):
    files = []
    for top in ("src", "tools", "res"):
        for folder, _, names in os.walk(os.path.join(repo, top)):
            files += [os.path.join(folder, n) for n in names if n.endswith(SOURCE_ENDINGS)]
    return sorted(files)


def resolve(repo, including, name):
    for base in (os.path.dirname(including), os.path.join(repo, "src"), os.path.join(repo, "res")):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(candidate):
            return candidate
    return None


def circles(graph):
    """The strongly connected components of more than one node, or with a self-loop (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for succ in sorted(graph.get(node, ())):
            if succ not in index:
                visit(succ)
                low[node] = min(low[node], low[succ])
            elif succ in on_stack:
                low[node] = min(low[node], index[succ])
        if low[node] == index[node]:
            component = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                component.append(top)
                if top == node:
                    break
            if len(component) > 1 or node in graph.get(node, ()):
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def main():
    repo = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    files = collect_files(repo)
    # A header and its source are one component: module.cpp calling into other.h while other.cpp
    # calls into module.h is a circle, though no file includes itself.
    component = lambda p: os.path.splitext(p)[0]
    file_graph = {component(f): set() for f in files}
    unit_graph = {}
    evidence = {}
    for path in files:
        with open(path, encoding="utf-8", errors="replace") as source:
            text = source.read()
        unit = unit_of(repo, path)
        unit_graph.setdefault(unit, set())
        for name in INCLUDE.findall(text):
            target = resolve(repo, path, name)
            if target is None or target == path:
                continue
            if component(target) != component(path):
                file_graph[component(path)].add(component(target))
            target_unit = unit_of(repo, target)
            if target_unit != unit:
                unit_graph[unit].add(target_unit)
                evidence.setdefault((unit, target_unit), (path, name))

    rel = lambda p: os.path.relpath(p, repo)
    failures = []
    for circle in circles(file_graph):
        failures.append("files include each other: " + ", ".join(rel(f) for f in circle))
    for circle in circles(unit_graph):
        failures.append("units include each other: " + ", ".join(circle))

    declared = {unit: level for level, units in enumerate(LAYERS) for unit in units}
    for unit in sorted(unit_graph):
        if unit not in declared:
            failures.append("unit %s has no place in LAYERS" % unit)
            continue
        for target in sorted(unit_graph[unit]):
            if declared.get(target, len(LAYERS)) >= declared[unit]:
                path, name = evidence[(unit, target)]
                failures.append('%s includes %s, which is not below it (%s: #include "%s")'
                                % (unit, target, rel(path), name))

    # Layer of a unit: one above the highest unit it includes (over the graph without circles).
    layer = {}

    def layer_of(unit, seen=()):
        if unit in layer:
            return layer[unit]
        if unit in seen:
            return 0
        below = [layer_of(t, seen + (unit,)) for t in unit_graph.get(unit, ())]
        layer[unit] = 1 + max(below) if below else 0
        return layer[unit]

    for unit in sorted(unit_graph, key=lambda u: (layer_of(u), u)):
        includes = ", ".join(sorted(unit_graph[unit])) or "-"
        print("layer %d  %-12s includes %s" % (layer_of(unit), unit, includes))
    for failure in failures:
        print("include_layers: " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
