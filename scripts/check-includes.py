#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the includes inside one folder and finds the ones that run in a
circle. A file pair x.h/x.cpp is one node; A -> B when a file of A includes
"<folder>/B.h". Prints each node's includes, then every circle (a strongly
connected group of more than one node) with the includes inside it. Exits
with 1 when there is a circle.

    scripts/check-includes.py qt
    scripts/check-includes.py --all    every folder inside, and the folders
                                       among themselves (a folder is one node);
                                       and no include runs up the layers

The layers are the README's map (its "Layers" section): a folder there may
include only the folders listed below it, down to the last layer; the
folders "beside them" may include any layer, and no layer includes them.
Folders the map leaves out (tests/) include what they like, and no layer
includes them either.
"""
import collections
import pathlib
import re
import sys


def graph(folder):
    edges = collections.defaultdict(set)
    include = re.compile(r'#include\s+"%s/(\w+)\.h"' % re.escape(folder.name))
    for f in sorted(folder.iterdir()):
        if f.suffix in (".h", ".cpp"):
            edges[f.stem] |= {b for b in include.findall(f.read_text()) if b != f.stem}
    return edges


CODE = (".h", ".cpp")


def folder_graph(root):
    """The folders with code as nodes; A -> B when a file in A includes
    "B/...". Only includes of the project's own folders count."""
    folders = sorted(d.name for d in root.iterdir() if d.is_dir() and not d.name.startswith((".", "build", "obj-"))
                     and any(f.suffix in CODE for f in d.rglob("*")))
    include = re.compile(r'#include\s+"(%s)/' % "|".join(map(re.escape, folders)))
    edges = collections.defaultdict(set)
    for name in folders:
        for f in sorted((root / name).rglob("*")):
            if f.suffix in CODE:
                edges[name] |= {b for b in include.findall(f.read_text()) if b != name}
    return edges


def layers(readme):
    """The map's folders, top first, as (name, beside) pairs."""
    section = readme.read_text().split("## Layers", 1)[1].split("\n## ", 1)[0]
    found, beside, inside = [], False, False
    for line in section.splitlines():
        inside = inside or line.startswith("    folder ")
        if inside and line and not line.startswith(" "):
            break  # the map ends with the first line that is not indented
        if line.strip() == "beside them":
            beside = True
        m = re.match(r"    (\w+)/\s", line)
        if inside and m:
            found.append((m.group(1), beside))
    return found


def upward(edges, order):
    """The includes that break the layers: (from, to, why)."""
    rank = {name: i for i, (name, beside) in enumerate(order) if not beside}
    beside = {name for name, b in order if b}
    wrong = []
    for a in sorted(edges):
        for b in sorted(edges[a]):
            if a in rank and b not in rank:
                wrong.append((a, b, "beside the layers" if b in beside else "not in the map"))
            elif a in rank and rank[b] < rank[a]:
                wrong.append((a, b, "a layer above"))
    return wrong


def circles(edges):
    """Tarjan's strongly connected components of more than one node."""
    index, low, stack, on, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on.add(v)
        for w in sorted(edges.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                found.append(sorted(group))

    for v in sorted(edges):
        if v not in index:
            visit(v)
    return found


def report(edges, where):
    for a in sorted(edges):
        print("%-16s -> %s" % (a, ", ".join(sorted(edges[a])) or "-"))
    found = circles(edges)
    for group in found:
        inside = ["%s -> %s" % (a, b) for a in group for b in sorted(edges[a]) if b in group]
        print("circle: %s (%s)" % (", ".join(group), "; ".join(inside)))
    print("%d circle(s) in %s" % (len(found), where))
    return len(found)


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    arg = sys.argv[1] if len(sys.argv) > 1 else "qt"
    if arg != "--all":
        return 1 if report(graph(root / arg), arg + "/") else 0
    edges = folder_graph(root)
    found = report(edges, "the folders")
    order = layers(root / "README.md")
    for a, b, why in upward(edges, order):
        print("up the layers: %s -> %s (%s)" % (a, b, why))
        found += 1
    print("layers, top first: %s" % " ".join(name for name, beside in order if not beside))
    for name in sorted(edges):
        found += report(graph(root / name), name + "/")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
