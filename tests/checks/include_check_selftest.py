#!/usr/bin/env python3
"""The include check must catch what it exists for: it runs on a copy of the real tree,
clean and then with one upward include and one cycle put in by hand."""
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
CHECK = os.path.join(ROOT, "tools", "checks", "check-includes.py")


def run(tree):
    done = subprocess.run([sys.executable, CHECK, tree], capture_output=True, text=True)
    return done.returncode, done.stdout


def copy_tree(to):
    for top in ("client", "common", "shellext"):
        shutil.copytree(os.path.join(ROOT, top), os.path.join(to, top))


def add_include(tree, path, include):
    with open(os.path.join(tree, path), "a", encoding="utf-8") as f:
        f.write('\n#include "%s"\n' % include)


cases = [
    ("clean tree", None, 0, "no cycle"),
    ("framework reaching up", ("client/framework/Dialog.h", "ui/FormMain.h"), 1,
     "client/framework must not include client/ui"),
    ("common reaching up", ("common/TaskFile.h", "jobs/JobIntake.h"), 1,
     "common must not include client/jobs"),
    ("cycle", ("client/settings/SettingsStore.h", "service/HttpTransport.h"), 1, "include cycle"),
]
failed = 0
for name, change, want_code, want_text in cases:
    with tempfile.TemporaryDirectory() as tree:
        copy_tree(tree)
        if change:
            add_include(tree, *change)
        code, out = run(tree)
    ok = code == want_code and want_text in out
    failed += 0 if ok else 1
    print("%s: %s%s" % ("ok" if ok else "FAILED", name, "" if ok else " -> %d %s" % (code, out)))
print("%d passed, %d failed" % (len(cases) - failed, failed))
sys.exit(1 if failed else 0)
