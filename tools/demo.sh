#!/bin/bash
# The main job, run by `make demo` inside tools/winenv: sample pictures are handed to the
# real client as the Explorer extension would hand them, the client is driven through
# its windows, and every dialog it shows is saved as a screenshot under BUILD/demo/.
set -euo pipefail
build=$(cd "${1:?usage: demo.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
bin="$build/bin"
out="$build/demo"
rm -rf "$out"
mkdir -p "$out/pictures"

winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
driver() { "$WINE" "$bin/uidriver.exe" "$@" | tr -d '\r'; }
shot() {
    import -display "$DISPLAY" -window root -crop 1024x768+0+0 +repage "$out/$1.png"
    echo "demo: screenshot $out/$1.png"
}

echo "demo: making sample pictures"
convert -size 1000x800 gradient:'#3a7bd5-#f2c94c' "$out/pictures/sunset.jpg"
convert -size 640x480 xc:none -fill '#c0392b' -draw 'circle 320,240 320,60' "$out/pictures/badge.png"
convert -size 400x300 plasma:fractal "$out/pictures/plasma.gif"

# A virtual desktop gives the windows their title bars in the screenshots; the driver
# joins it to see them.
export UIDRIVER_DESKTOP=Lumexia
"$WINE" explorer /desktop=Lumexia,1024x768 >/dev/null 2>&1 </dev/null &
desktop=$!

# The user's road starts in Explorer: the extension is registered, and its menu item is
# picked on the sample pictures as Explorer would, from a process on the desktop, so
# the client it starts appears there.
echo "demo: registering the Explorer extension"
"$WINE" regsvr32 /s "$(winpath "$bin/Lumexia64Ext.dll")" </dev/null >/dev/null 2>&1
echo "demo: choosing \"Опубликовать на lumexia.ru\" on three pictures"
"$WINE" explorer /desktop=Lumexia,1024x768 "$(winpath "$bin/uidriver.exe")" explorer-invoke \
    '{1F2374F4-A301-4C43-9650-FA1F056C61C2}' \
    "$(winpath "$out/pictures/sunset.jpg")" \
    "$(winpath "$out/pictures/badge.png")" \
    "$(winpath "$out/pictures/plasma.gif")" </dev/null >/dev/null 2>&1 &

dialog=$(driver find-dialog 1045 20000)
sleep 0.5
echo "demo: main dialog says: $(driver text "$dialog" 1045)"
shot main
driver close "$dialog"
driver wait-gone "$dialog" 10000
echo "demo: client closed"
"$WINE" regsvr32 /s /u "$(winpath "$bin/Lumexia64Ext.dll")" </dev/null >/dev/null 2>&1
kill "$desktop" 2>/dev/null || true
