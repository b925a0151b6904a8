#!/bin/bash
# The main job, run by `make demo` inside tools/winenv: the stand-in service is started,
# sample pictures are published through the Explorer extension's menu item as Explorer
# would, the real client is driven through its windows (options, upload, notice), the
# link codes are read from the clipboard and every picture is fetched back from the
# address in its code. Screenshots of every dialog go to BUILD/demo/.
set -euo pipefail
build=$(cd "${1:?usage: demo.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
bin="$build/bin"
out="$build/demo"
rm -rf "$out"
mkdir -p "$out/pictures" "$out/fetched"

winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
driver() { "$WINE" "$bin/uidriver.exe" "$@" | tr -d '\r'; }
shot() {
    import -display "$DISPLAY" -window root -crop 1024x768+0+0 +repage "$out/$1.png"
    echo "demo: screenshot $out/$1.png"
}
standin="$out/standin"
cleanup() {
    "$here/standin/standin-ctl" stop "$standin" >/dev/null 2>&1 || true
    "$WINE" regsvr32 /s /u "$(winpath "$bin/Lumexia64Ext.dll")" </dev/null >/dev/null 2>&1 || true
    [ -n "${desktop:-}" ] && kill "$desktop" 2>/dev/null || true
}
trap cleanup EXIT

echo "demo: starting the stand-in service"
"$here/standin/standin-ctl" start "$standin" $$
port=$(cat "$standin/port")
# One upload is held for two seconds, so the progress dialog can be seen.
curl -s -o /dev/null -d 'path=/api3/rest/uplimg/prepared&delay=2' "http://127.0.0.1:$port/__script"
# Tags the service already knows, offered while the user types in the tags edit.
curl -s -o /dev/null --data-urlencode $'tags=закат\nзакат над морем\nзамок\nзарево\nзима' \
    -d append=1 "http://127.0.0.1:$port/__tags"

echo "demo: making sample pictures"
convert -size 1000x800 gradient:'#3a7bd5-#f2c94c' "$out/pictures/sunset.jpg"
convert -size 640x480 xc:none -fill '#c0392b' -draw 'circle 320,240 320,60' "$out/pictures/badge.png"
convert -size 400x300 plasma:fractal "$out/pictures/plasma.gif"

# The client reaches the stand-in as its proxy; the service's host names stay its own.
data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/lumexia"
mkdir -p "$data"
find "$data" -maxdepth 1 -type f ! -name '*.*' -delete
printf '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<settings><setting name="proxyisuse" value="True"/><setting name="proxyfull" value="127.0.0.1:%s"/></settings>\n' \
    "$port" >"$data/config2.txt"

# A virtual desktop gives the windows their title bars in the screenshots; the driver
# joins it to see them.
export UIDRIVER_DESKTOP=Lumexia
"$WINE" explorer /desktop=Lumexia,1024x768 >/dev/null 2>&1 </dev/null &
desktop=$!

# The user's road starts in Explorer: the extension is registered, and its menu item is
# picked on the sample pictures from a process on the desktop, so the client it starts
# appears there.
echo "demo: registering the Explorer extension"
"$WINE" regsvr32 /s "$(winpath "$bin/Lumexia64Ext.dll")" </dev/null >/dev/null 2>&1
echo "demo: choosing \"Опубликовать на lumexia.ru\" on three pictures"
"$WINE" explorer /desktop=Lumexia,1024x768 "$(winpath "$bin/uidriver.exe")" explorer-invoke \
    '{1F2374F4-A301-4C43-9650-FA1F056C61C2}' \
    "$(winpath "$out/pictures/sunset.jpg")" \
    "$(winpath "$out/pictures/badge.png")" \
    "$(winpath "$out/pictures/plasma.gif")" </dev/null >/dev/null 2>&1 &

dialog=$(driver find-dialog 1045 30000)
echo "demo: main dialog says: $(driver text "$dialog" 1045)"
driver combo "$dialog" 1043 "3. Превью - увеличение по клику"
driver set-text "$dialog" 1008 "lumexia demo"
driver set-text "$dialog" 1017 "Три картинки из демонстрации"
echo "demo: typing \"за\" in the tags edit"
driver type "$dialog" 1056 "за" 150
sleep 1.5
shot tags
driver key "$dialog" 1056 40 # Down: the first suggestion
driver key "$dialog" 1056 13 # Enter: take it
sleep 0.5
echo "demo: tags: $(driver text "$dialog" 1056)"
shot 1-options
driver click "$dialog" 1019

progress=$(driver find-dialog 1021 30000)
sleep 0.7
echo "demo: progress dialog says: $(driver text "$progress")"
shot 2-progress

notice=$(driver find-dialog 1041 60000)
sleep 0.5
echo "demo: notice says: $(driver text "$notice" 1046)"
shot 3-notice
driver click "$notice" 1041
driver wait-gone "$notice" 10000

echo "demo: link codes on the clipboard:"
codes=$(driver clipboard)
printf '%s\n' "$codes" | sed 's/^/    /'

echo "demo: fetching every picture back from its code"
n=0
for url in $(printf '%s\n' "$codes" | grep -o '\[IMG\]http://[^[]*' | sed 's/\[IMG\]//'); do
    n=$((n + 1))
    curl -s -f -x "127.0.0.1:$port" -o "$out/fetched/$n" "$url"
    echo "    $url -> $(identify -format '%m %wx%h' "$out/fetched/$n" 2>/dev/null || echo 'not a picture')"
done
[ "$n" -eq 3 ] || { echo "demo: expected 3 codes, got $n" >&2; exit 1; }
echo "demo: done"
