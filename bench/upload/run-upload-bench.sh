#!/bin/bash
# Uploads 1, 5 and 9 MB pictures to a fresh stand-in, first with the client's own code
# (upload_bench under Wine), then the very same bodies with curl, and prints throughput
# and the ratio. Run inside the Wine environment:
#     tools/winenv build/win64 bench/upload/run-upload-bench.sh build/win64 [ROUNDS]
set -euo pipefail
build=$(cd "${1:?usage: run-upload-bench.sh BUILD_DIR [ROUNDS]}" && pwd)
rounds=${2:-7}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/tools/wine-common.sh"
work=$(mktemp -d)
trap '"$root/tools/standin/standin-ctl" stop "$work/standin" >/dev/null; rm -rf "$work"' EXIT
"$root/tools/standin/standin-ctl" start "$work/standin" $$ >/dev/null
port=$(cat "$work/standin/port")
winwork="Z:$(printf '%s' "$work" | tr '/' '\\')"

"$WINE" "$build/bin/upload_bench.exe" "$port" "$winwork" "$rounds" | tr -d '\r' >"$work/client.txt"

printf '%-6s %12s %12s %12s %8s\n' "MB" "client MB/s" "(send only)" "curl MB/s" "ratio"
while read -r _ mb build_ms send_ms total_ms; do
    body="$work/body$mb.bin"
    type=$(cat "$work/type$mb.txt")
    times=()
    for _ in $(seq "$rounds"); do
        t=$(curl -s -o /dev/null -w '%{time_total}' -x "127.0.0.1:$port" -H "$type" \
            -H 'Expect:' --data-binary "@$body" "http://api.lumexia.ru/api3/rest/uplimg/prepared")
        times+=("$t")
    done
    curl_ms=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int(NR/2)+1]*1000}')
    size=$(stat -c %s "$body")
    awk -v s="$size" -v c="$total_ms" -v d="$send_ms" -v u="$curl_ms" -v mb="$mb" 'BEGIN {
        printf "%-6s %12.1f %12.1f %12.1f %8.2f\n", mb, s/1e6/(c/1000), s/1e6/(d/1000),
               s/1e6/(u/1000), (s/(c/1000))/(s/(u/1000)) }'
done <"$work/client.txt"
echo "(medians of $rounds uploads; client = form build + exchange; ratio = client/curl)"
