#!/bin/bash
# Uploads 1, 5 and 9 MB pictures to a fresh stand-in with the client's own code
# (upload_bench under Wine) and, right after each size, the very same bodies with curl;
# prints throughput and the ratio. Sizes alternate between the two so that a change of
# load on a shared machine hits both alike. Run inside the Wine environment:
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
url="http://api.lumexia.ru/api3/rest/uplimg/prepared"

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
curl_ms() { # BODY TYPE: median time_total of ROUNDS posts, in ms
    for _ in $(seq "$rounds"); do
        curl -s -o /dev/null -w '%{time_total}\n' -x "127.0.0.1:$port" -H "$2" -H 'Expect:' \
            --data-binary "@$1" "$url"
    done | median | awk '{print $1*1000}'
}

printf '%-6s %12s %12s %12s %8s\n' "MB" "client MB/s" "(send only)" "curl MB/s" "ratio"
for mb in 1 5 9; do
    "$WINE" "$build/bin/upload_bench.exe" "$port" "$winwork" "$rounds" "$mb" </dev/null |
        tr -d '\r' >"$work/client$mb.txt"
    read -r _ _ build_ms send_ms total_ms < <(grep '^client' "$work/client$mb.txt")
    body="$work/body$mb.bin"
    c_ms=$(curl_ms "$body" "$(cat "$work/type$mb.txt")")
    size=$(stat -c %s "$body")
    awk -v s="$size" -v c="$total_ms" -v d="$send_ms" -v u="$c_ms" -v mb="$mb" 'BEGIN {
        printf "%-6s %12.1f %12.1f %12.1f %8.2f\n", mb, s/1e6/(c/1000), s/1e6/(d/1000),
               s/1e6/(u/1000), u/c }'
done
echo "fixed cost of one exchange (empty form): client" \
    "$(awk '/^overhead/ {print $2}' "$work/client1.txt") ms"
echo "(medians of $rounds uploads; client = form build + exchange; ratio = client/curl speed)"
