#!/usr/bin/env python3
"""Include check: reads every quoted #include of client/, common/ and shellext/ and fails
when the folders include each other in a cycle, or when a layer includes one above it.

Folders are the units: client/<folder>/ (framework, jobs, startup, ...), common/ and
shellext/. An include names its folder ("service/UploadCall.h" from client/, "common/X.h"
from anywhere); a bare name is a file of the includer's own folder or a generated header.
The lower layers, client/framework/ and common/, may include only each other's downward
side: framework may include common, common includes nothing of the project.

Usage: check-includes.py [REPO_ROOT] [--graph]
  --graph  also prints which folder includes which.
Exit code 0 when the tree keeps the rules, 1 with one line per broken rule otherwise."""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# Layers that must not reach up into the subsystems.
FOUNDATIONS = {"common": {"common"}, "client/framework": {"client/framework", "common"}}


def folder_of(path):
    """The unit a repository path belongs to, or None outside the checked trees."""
    parts = path.split("/")
    if parts[0] in ("common", "shellext"):
        return parts[0]
    if parts[0] == "client" and len(parts) > 2:
        return "client/" + parts[1]
    return None


def target_of(root, includer, name):
    """The unit an include points at, or None for a generated or system header."""
    here = os.path.dirname(includer)
    candidates = [os.path.join(here, name), name, os.path.join("client", name)]
    for candidate in candidates:
        candidate = os.path.normpath(candidate)
        if os.path.isfile(os.path.join(root, candidate)):
            return folder_of(candidate)
    return None


def collect(root):
    edges = {}
    for top in ("client", "common", "shellext"):
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), root)
                source = folder_of(path)
                if source is None:
                    continue
                with open(os.path.join(root, path), encoding="utf-8") as f:
                    text = f.read()
                for included in INCLUDE.findall(text):
                    target = target_of(root, path, included)
                    if target and target != source:
                        edges.setdefault(source, {}).setdefault(target, []).append(
                            "%s includes %s" % (path, included))
    return edges


def find_cycle(edges):
    """One cycle as a list of folders, or None."""
    state = {}

    def visit(node, stack):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, {})):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, stack)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node, [])
            if found:
                return found
    return None


def main(argv):
    root = os.path.abspath(next((a for a in argv[1:] if not a.startswith("--")), "."))
    edges = collect(root)
    problems = []
    for source, allowed in FOUNDATIONS.items():
        for target, sites in sorted(edges.get(source, {}).items()):
            if target not in allowed:
                problems.append("%s must not include %s: %s" % (source, target, sites[0]))
    cycle = find_cycle(edges)
    if cycle:
        steps = ["%s (%s)" % (a, edges[a][b][0]) for a, b in zip(cycle, cycle[1:])]
        problems.append("include cycle: " + " -> ".join(steps))
    if "--graph" in argv:
        for source in sorted(edges):
            print("%s -> %s" % (source, ", ".join(sorted(edges[source]))))
    for problem in problems:
        print(problem)
    if not problems:
        print("include check: %d folders, no cycle, foundations keep to themselves" % len(
            set(edges) | {t for targets in edges.values() for t in targets}))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
