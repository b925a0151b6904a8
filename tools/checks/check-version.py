#!/usr/bin/env python3
"""Version check: the client's own version is written once, in project(... VERSION) of the
top CMakeLists.txt, and everything else takes it from there (the generated
ClientVersion.h, the installer's defines). Fails on a version number written by hand
where the client shows or compares it: the main dialog's caption, the update rule, the
version resource, and the tests and scripts that expect that caption.

Usage: check-version.py [REPO_ROOT]
Exit code 0 when no such number is found, 1 with one line per finding otherwise."""
import os
import re
import sys

# What a hand-written client version looks like in each of its homes.
PATTERNS = [
    re.compile(r"ShellExtension \d+\.\d+"),                     # the caption
    re.compile(r"\bkClient(Major|Minor)\s*=\s*\d"),              # the update rule
    re.compile(r"^\s*(FILEVERSION|PRODUCTVERSION)\s+\d", re.M),  # the version resource
    re.compile(r'"(FileVersion|ProductVersion)"\s*,\s*"\d'),
]
FOLDERS = ("client", "tests", "tools", "bench")
SUFFIXES = (".cpp", ".h", ".rc", ".sh", ".py")


def findings(root):
    this = os.path.abspath(__file__)
    for folder in FOLDERS:
        for here, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                path = os.path.join(here, name)
                if not name.endswith(SUFFIXES) or os.path.abspath(path) == this:
                    continue
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for pattern in PATTERNS:
                    for match in pattern.finditer(text):
                        line = text.count("\n", 0, match.start()) + 1
                        yield "%s:%d: version written by hand: %s" % (
                            os.path.relpath(path, root), line, match.group(0).strip())


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.getcwd()
    found = list(findings(root))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
