#!/bin/bash
# `make bench`: runs every benchmark under bench/ in the Wine environment (inside
# tools/winenv) against one stand-in service and prints one table of their figures:
# figure, this run's value, its goal, and whether the value is within the goal.
#
#     bench/run-bench.sh BUILD_DIR [NAME...]     NAME: pipeline upload startup memory parallel
#
# Each benchmark prints its own lines as it goes and its figures as
# "figure<TAB>NAME<TAB>VALUE<TAB>GOAL<TAB>WITHIN" lines, which this script gathers. The
# goals are ratios measured side by side in one run: absolute times on a shared machine
# wander by a factor of two. The counts are each benchmark's minimum (about 20 minutes in
# all on an idle machine). The camera pictures are made once and kept in
# BUILD_DIR/bench-pictures.
set -uo pipefail
build=$(cd "${1:?usage: run-bench.sh BUILD_DIR [NAME...]}" && pwd)
shift
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(pipeline upload startup memory parallel)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
. "$root/tools/wine-common.sh"
bin="$build/bin"
work=$(mktemp -d)
trap '"$root/tools/standin/standin-ctl" stop "$work/standin" >/dev/null 2>&1; rm -rf "$work"' EXIT
"$root/tools/standin/standin-ctl" start "$work/standin" $$ >/dev/null || exit 1
port=$(cat "$work/standin/port")
control() { curl -s -f -o /dev/null -X POST "http://127.0.0.1:$port/$1" ${2:+-d "$2"}; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
pictures="$build/bench-pictures"
mkdir -p "$pictures"
user=benchuser
password=bench-password-1

run() { # NAME: runs one benchmark, its output both shown and kept
    local name=$1
    control __reset
    echo "=== $name"
    local start=$SECONDS
    case $name in
    pipeline) "$WINE" "$bin/pipeline_bench.exe" "$(winpath "$pictures")" 6 3 ;;
    upload) "$here/upload/run-upload-bench.sh" "$build" 30 "$port" ;;
    startup)
        control __account "login=$user&password=$password&albums=3"
        control __version "major=3&minor=1&path=http://download.lumexia.ru/setup.exe"
        "$WINE" "$bin/startup_bench.exe" "$port" "$user" "$password" 20
        ;;
    memory) "$WINE" "$bin/memory_bench.exe" "$port" "$(winpath "$pictures")" 10 200 ;;
    parallel) "$WINE" "$bin/parallel_bench.exe" "$port" "$(winpath "$pictures")" 10 200 ;;
    *)
        echo "run-bench: no benchmark named $name" >&2
        return 1
        ;;
    esac </dev/null 2>&1 | tr -d '\r' | tee "$work/$name.log" | grep -v '^figure'
    local status=${PIPESTATUS[0]}
    echo "($name: $((SECONDS - start)) s, exit $status)"
    if [ "$status" -ne 0 ]; then
        printf 'figure\t%s\tFAILED (exit %s)\t-\tno\n' "$name" "$status" >>"$work/$name.log"
    fi
}

failed=0
for name in "${names[@]}"; do
    run "$name" || failed=1
done

echo
echo "=== Benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for name in "${names[@]}"; do
    grep -h '^figure' "$work/$name.log" 2>/dev/null
done | awk -F'\t' '
    { n++; f[n] = $2; v[n] = $3; g[n] = $4; w[n] = $5
      if (length($2) > wf) wf = length($2); if (length($3) > wv) wv = length($3)
      if (length($4) > wg) wg = length($4) }
    END {
      if (wf < 6) wf = 6; if (wv < 5) wv = 5; if (wg < 4) wg = 4
      fmt = "%-" wf "s | %-" wv "s | %-" wg "s | %s\n"
      printf fmt, "Figure", "Value", "Goal", "Within"
      line = sprintf(fmt, "", "", "", ""); gsub(/[^|]/, "-", line); gsub(/\|/, "+", line)
      print substr(line, 1, length(line) - 1) "------"
      for (i = 1; i <= n; i++) printf fmt, f[i], v[i], g[i], w[i]
    }'
exit "$failed"
