#!/bin/bash
# Upload against curl: is an upload through the client's own code as fast as curl's?
#
# upload_bench.exe (UploadBench.cpp: the upload form built from the prepared file and sent
# with HttpPost through the proxy setting) and curl post the very same bytes (the body the
# client built, saved by upload_bench) to the same stand-in on loopback. They alternate
# upload by upload: every pair is one client upload and one curl upload of the same size
# back to back, the order swapped from pair to pair, and the sizes (1, 5, 9 MB) rotate, so
# that a change of load on a shared machine hits both alike. One unmeasured upload of
# each size comes first. The client's time is the form build plus the exchange (what a
# picture costs in the sending phase); curl's is its time_total for the posted file.
#
# What each clock holds, so that neither side is favoured: curl streams the body from its
# file during the transfer (-T, as POST), so its clock holds reading those bytes as the
# client's holds its form build (the picture read from its file; before, curl read the
# whole file before its clock started). The client's exchanges share one WinHTTP session
# as the uploads of one sending phase do, and the stand-in, like the service, keeps the
# connection open, so a client upload after the first one skips connecting; curl, one
# process per upload, connects every time (its time_connect, about 1 ms on loopback, is
# printed with its stages below). That is the honest price of a picture in a batch.
#
# Reported per size: the median of the per-pair ratios curl time / client time (the
# client's speed relative to curl's) with its interquartile range, the median speeds,
# and the client's fixed cost of an exchange (an empty form).
# Goal: the median ratio at least 1.00 for every size (the client at least as fast).
#
# Run alone: make bench BENCH=upload, or inside tools/winenv:
#     bench/upload/run-upload-bench.sh BUILD_DIR [PAIRS [PORT]]   (default 30 pairs per
# size; without PORT a stand-in of its own is started)
set -euo pipefail
build=$(cd "${1:?usage: run-upload-bench.sh BUILD_DIR [PAIRS [PORT]]}" && pwd)
pairs=${2:-30}
port=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/tools/wine-common.sh"
work=$(mktemp -d)
cleanup() {
    if [ -n "${client_pid:-}" ]; then kill "$client_pid" 2>/dev/null || true; fi
    if [ -n "${own_standin:-}" ]; then
        "$root/tools/standin/standin-ctl" stop "$work/standin" >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
if [ -z "$port" ]; then
    own_standin=1
    "$root/tools/standin/standin-ctl" start "$work/standin" $$ >/dev/null
    port=$(cat "$work/standin/port")
fi
winwork="Z:$(printf '%s' "$work" | tr '/' '\\')"
url="http://api.lumexia.ru/api3/rest/uplimg/prepared"
# The stand-in keeps every body it is sent; emptied now and then to keep its memory small.
reset() { curl -s -o /dev/null -X POST "http://127.0.0.1:$port/__reset"; }

coproc CLIENT { "$WINE" "$build/bin/upload_bench.exe" "$port" "$winwork" 2>&1; }
client_pid=$CLIENT_PID
# One command line to upload_bench and its answer line into $answer. Not in a subshell:
# bash does not pass a coprocess's descriptors into one.
ask() {
    echo "$1" >&"${CLIENT[1]}"
    answer=""
    IFS= read -r -t 300 answer <&"${CLIENT[0]}" || { echo "upload_bench ended or hung" >&2; exit 1; }
    answer=${answer%$'\r'}
    case $answer in failed* | "") echo "upload_bench: $1 failed" >&2; exit 1 ;; esac
}
curl_ms() { # SIZE_MB: curl's time_total in ms for that body
    curl -s -f -o /dev/null -w '%{time_total}\n' -x "127.0.0.1:$port" -X POST \
        -H "$(cat "$work/type$1.txt")" -H 'Expect:' -T "$work/body$1.bin" "$url" |
        awk '{printf "%.3f\n", $1 * 1000}'
}

for mb in 1 5 9; do ask "$mb"; done # warm-up; leaves the bodies for curl
for mb in 1 5 9; do curl_ms "$mb" >/dev/null; done
: >"$work/empty.txt"
for _ in $(seq 10); do
    ask empty
    echo "${answer#empty }" >>"$work/empty.txt"
done

: >"$work/pairs.txt"
for i in $(seq "$pairs"); do
    for mb in 1 5 9; do
        if (((i + mb) % 2)); then
            ask "$mb"
            u=$(curl_ms "$mb")
        else
            u=$(curl_ms "$mb")
            ask "$mb"
        fi
        read -r _ _ build send total <<<"$answer"
        echo "$mb $build $send $total $u" >>"$work/pairs.txt"
    done
    reset
done
# Where the client's time goes: the exchange made stage by stage (a copy of HttpPost's
# calls), 1 MB and 9 MB with the body in HttpPost's own pieces (WriteBody), and 1 MB in
# fixed 64 KiB writes (how HttpPost wrote it before); curl's own stages of the same 1 MB
# post beside them.
: >"$work/phases.txt"
: >"$work/curlphases.txt"
for i in $(seq 10); do
    for run in "1 0" "1 65536" "9 0"; do
        ask "phases $run"
        echo "$run ${answer#phases * }" >>"$work/phases.txt"
    done
    curl -s -f -o /dev/null -x "127.0.0.1:$port" -X POST -H "$(cat "$work/type1.txt")" \
        -H 'Expect:' -T "$work/body1.bin" \
        -w '%{time_connect} %{time_pretransfer} %{time_starttransfer} %{time_total}\n' \
        "$url" >>"$work/curlphases.txt"
done
reset
echo quit >&"${CLIENT[1]}"

quantile() { # Q: of the numbers on stdin (linear interpolation)
    sort -g | awk -v q="$1" '{a[NR] = $1} END {
        at = q * (NR - 1); lo = int(at); f = at - lo
        hi = lo + 1 < NR ? lo + 1 : lo
        printf "%.3f\n", a[lo + 1] + (a[hi + 1] - a[lo + 1]) * f }'
}

printf '%-5s %8s %8s %8s %8s %10s %10s  %s\n' MB build send client curl "client MB/s" \
    "curl MB/s" "ratio curl/client (IQR)"
for mb in 1 5 9; do
    size=$(stat -c %s "$work/body$mb.bin")
    awk -v m="$mb" '$1 == m' "$work/pairs.txt" >"$work/p$mb.txt"
    b=$(awk '{print $2}' "$work/p$mb.txt" | quantile 0.5)
    s=$(awk '{print $3}' "$work/p$mb.txt" | quantile 0.5)
    c=$(awk '{print $4}' "$work/p$mb.txt" | quantile 0.5)
    u=$(awk '{print $5}' "$work/p$mb.txt" | quantile 0.5)
    awk '{print $5 / $4}' "$work/p$mb.txt" >"$work/r$mb.txt"
    r=$(quantile 0.5 <"$work/r$mb.txt")
    q1=$(quantile 0.25 <"$work/r$mb.txt")
    q3=$(quantile 0.75 <"$work/r$mb.txt")
    # The ratio of the send alone: the client's exchange without its form build.
    rs=$(awk '{print $5 / $3}' "$work/p$mb.txt" | quantile 0.5)
    awk -v m="$mb" -v b="$b" -v s="$s" -v c="$c" -v u="$u" -v z="$size" -v r="$r" \
        -v q1="$q1" -v q3="$q3" -v rs="$rs" 'BEGIN {
        printf "%-5s %8.1f %8.1f %8.1f %8.1f %10.1f %10.1f  %.2f (%.2f-%.2f); send alone %.2f\n",
            m, b, s, c, u, z / 1e6 / (c / 1000), z / 1e6 / (u / 1000), r, q1, q3, rs }'
    within=$(awk -v r="$r" 'BEGIN { print (r >= 1.0 ? "yes" : "no") }')
    printf 'figure\tupload %s MB, client speed / curl (%s pairs)\t%.2f (IQR %.2f-%.2f)\t>= 1.00\t%s\n' \
        "$mb" "$(wc -l <"$work/p$mb.txt")" "$r" "$q1" "$q3" "$within"
done
printf 'figure\tupload, fixed cost of one exchange (empty form)\t%.1f ms\t(to watch)\t-\n' \
    "$(quantile 0.5 <"$work/empty.txt")"
echo "(times are medians in ms; client = form build + send)"
names="build session connect request head first rest wait read"
for run in "1 0" "1 65536" "9 0"; do
    read -r mb chunk <<<"$run"
    printf '%s MB stage by stage, body written %s:' "$mb" "$([ "$chunk" = 0 ] &&
        echo "as HttpPost writes it" || echo "in $chunk-byte writes")"
    for column in $(seq 3 11); do
        printf ' %s %.2f' "$(echo "$names" | cut -d' ' -f$((column - 2)))" \
            "$(awk -v m="$mb" -v c="$chunk" -v k="$column" '$1 == m && $2 == c {print $k}' \
                "$work/phases.txt" | quantile 0.5)"
    done
    echo " (ms, medians of 10)"
done
# curl's stages from its cumulative times: connected to the proxy, ready to send the
# request, transfer begun, end (for a post the transfer begins with the request, so the
# last stage holds head, body, wait and answer; curl reads the file as it sends it, as
# the client's times above hold its form build).
printf 'curl, 1 MB stage by stage:'
for column in 1 2 3 4; do
    name=$(echo "connect pretransfer starttransfer body+wait+read" | cut -d' ' -f"$column")
    printf ' %s %.2f' "$name" "$(awk -v k="$column" '{
        t[0] = 0; t[1] = $1; t[2] = $2; t[3] = $3; t[4] = $4
        print (t[k] - t[k - 1]) * 1000 }' "$work/curlphases.txt" | quantile 0.5)"
done
echo " (ms, medians of 10)"
