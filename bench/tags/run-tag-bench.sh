#!/bin/bash
# Starts a fresh stand-in and runs tag_bench against it (see TagTypingBench.cpp). Run
# inside the Wine environment:
#     tools/winenv build/win64 bench/tags/run-tag-bench.sh build/win64 [KEYSTROKES]
set -euo pipefail
build=$(cd "${1:?usage: run-tag-bench.sh BUILD_DIR [KEYSTROKES]}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/tools/wine-common.sh"
work=$(mktemp -d)
trap '"$root/tools/standin/standin-ctl" stop "$work/standin" >/dev/null; rm -rf "$work"' EXIT
"$root/tools/standin/standin-ctl" start "$work/standin" $$ >/dev/null
"$WINE" "$build/bin/tag_bench.exe" "$(cat "$work/standin/port")" "${2:-400}" </dev/null |
    tr -d '\r'
