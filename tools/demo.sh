#!/bin/bash
# The main job, run by `make demo` inside tools/winenv: the program is installed with its
# own installer (silently, for this user), the stand-in service is started, sample
# pictures are published through the installed Explorer extension's menu item as Explorer
# would, the installed client is driven through its windows (update notice, login,
# options, proxy setting, upload, notice), the
# link codes are read from the clipboard and every picture is fetched back from the
# address in its code. Screenshots of every dialog go to BUILD/demo/. The installed copy is
# removed again at the end, so the tests find the prefix as they left it.
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
clsid='{1F2374F4-A301-4C43-9650-FA1F056C61C2}'
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumexia'
# A REG_SZ value of a key (the default value when NAME is empty).
regvalue() {
    local key=$1 name=${2:-}
    if [ -n "$name" ]; then
        "$WINE" reg query "$key" /v "$name" </dev/null 2>/dev/null
    else
        "$WINE" reg query "$key" /ve </dev/null 2>/dev/null
    fi | tr -d '\r' | sed -n 's/^ *[^ ].*REG_SZ *//p' || true
}
# The quiet uninstall command runs in place (_?=) and returns when the uninstall is over,
# with its result as exit code.
uninstall() {
    local folder
    folder=$(regvalue "$entry" InstallLocation)
    [ -n "$folder" ] || return 0
    "$WINE" "$folder\\uninstall.exe" /S "_?=$folder" </dev/null >/dev/null 2>&1 ||
        echo "demo: the uninstaller failed (exit code $?)" >&2
}
cleanup() {
    "$here/standin/standin-ctl" stop "$standin" >/dev/null 2>&1 || true
    # The demo's login and proxy must not stay in the build's prefix, which the tests
    # share: a stored login would sign every later start in.
    if [ -n "${data:-}" ]; then
        if [ -f "$out/config2.before" ]; then
            cp "$out/config2.before" "$data/config2.txt"
        else
            rm -f "$data/config2.txt"
        fi
    fi
    [ -n "${desktop:-}" ] && kill "$desktop" 2>/dev/null || true
    uninstall
}
trap cleanup EXIT

# The sample pictures are made while the stand-in starts and the installer runs; they are
# needed only when the menu item is chosen.
echo "demo: making sample pictures"
(
    convert -size 1000x800 gradient:'#3a7bd5-#f2c94c' "$out/pictures/sunset.jpg"
    convert -size 640x480 xc:none -fill '#c0392b' -draw 'circle 320,240 320,60' "$out/pictures/badge.png"
    convert -size 400x300 plasma:fractal "$out/pictures/plasma.gif"
) &
pictures=$!

echo "demo: starting the stand-in service"
"$here/standin/standin-ctl" start "$standin" $$
port=$(cat "$standin/port")
# The demo account: its albums come back in the service's order and the client lists
# them sorted by title.
curl -s -o /dev/null --data-urlencode login=demo --data-urlencode password=demo-2026 \
    --data-urlencode id=7001 --data-urlencode title=Путешествия --data-urlencode title=Дача \
    --data-urlencode title=Кошки "http://127.0.0.1:$port/__account"
# One upload is held for two seconds, so the progress dialog can be seen.
curl -s -o /dev/null -d 'path=/api3/rest/uplimg/prepared&delay=2' "http://127.0.0.1:$port/__script"
# The version page offers a newer version once, so the start-up notice can be seen.
curl -s -o /dev/null -d "major=3&minor=2&path=http://127.0.0.1:$port/setup.exe&times=1" \
    "http://127.0.0.1:$port/__version"
# Tags the service already knows, offered while the user types in the tags edit.
curl -s -o /dev/null --data-urlencode $'tags=закат\nзакат над морем\nзамок\nзарево\nзима' \
    -d append=1 "http://127.0.0.1:$port/__tags"

# The client reaches the stand-in as its proxy; the service's host names stay its own.
data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/lumexia"
mkdir -p "$data"
find "$data" -maxdepth 1 -type f ! -name '*.*' -delete
[ -f "$data/config2.txt" ] && cp "$data/config2.txt" "$out/config2.before"
printf '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<settings><setting name="proxyisuse" value="True"/><setting name="proxyfull" value="127.0.0.1:%s"/></settings>\n' \
    "$port" >"$data/config2.txt"

# A virtual desktop gives the windows their title bars in the screenshots; the driver
# joins it to see them.
export UIDRIVER_DESKTOP=Lumexia
"$WINE" explorer /desktop=Lumexia,1024x768 >/dev/null 2>&1 </dev/null &
desktop=$!

# The user's road starts with the installer, then in Explorer: the installed extension's
# menu item is picked on the sample pictures from a process on the desktop, so the client
# it starts appears there.
uninstall
echo "demo: installing with LumexiaSetup-x64.exe /S"
started=$(date +%s%N)
"$WINE" "$bin/LumexiaSetup-x64.exe" /S </dev/null >/dev/null 2>&1 ||
    { echo "demo: the installer failed" >&2; exit 1; }
echo "demo: installed in $((($(date +%s%N) - started) / 1000000)) ms; the menu item comes from" \
    "$(regvalue "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32")"
wait "$pictures" || { echo "demo: the sample pictures could not be made" >&2; exit 1; }
echo "demo: choosing \"Опубликовать на lumexia.ru\" on three pictures"
"$WINE" explorer /desktop=Lumexia,1024x768 "$(winpath "$bin/uidriver.exe")" explorer-invoke \
    "$clsid" \
    "$(winpath "$out/pictures/sunset.jpg")" \
    "$(winpath "$out/pictures/badge.png")" \
    "$(winpath "$out/pictures/plasma.gif")" </dev/null >/dev/null 2>&1 &

dialog=$(driver find-dialog 1045 30000)
update=$(driver find-dialog 1048 30000)
sleep 0.5
echo "demo: update notice says: $(driver text "$update" 1048)"
shot update-notice
driver click "$update" 1050
driver wait-gone "$update" 10000
echo "demo: main dialog says: $(driver text "$dialog" 1045)"
echo "demo: the client runs from $(driver program "$dialog")"

# No login is stored yet, so the first paint asks for one.
login=$(driver find-dialog 1027 30000)
driver set-text "$login" 1027 demo
driver set-text "$login" 1028 demo-2026
sleep 0.5
shot 0-login
driver click "$login" 1019
# The caption names the project version as major.minor (project() in the top CMakeLists.txt).
version=$(sed -n 's/^project(Lumexia VERSION \([0-9]*\.[0-9]*\).*/\1/p' "$here/../CMakeLists.txt")
signed_in="Лумексия ShellExtension $version [demo]"
for _ in $(seq 150); do
    [ "$(driver text "$dialog")" = "$signed_in" ] && break
    sleep 0.2
done
[ "$(driver text "$dialog")" = "$signed_in" ] || { echo "demo: the login did not complete" >&2; exit 1; }
echo "demo: signed in; the caption says: $signed_in"
driver combo "$dialog" 1009 "Кошки"
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
driver click-link "$dialog" 1038
proxy=$(driver find-dialog 1053 10000)
sleep 0.5
echo "demo: proxy dialog shows: $(driver text "$proxy" 1053) (in use: $(driver checked "$proxy" 1001))"
shot proxy
driver click "$proxy" 1032
driver wait-gone "$proxy" 10000
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

echo "demo: what each upload named as user, ticket and album:"
requests=$(curl -s "http://127.0.0.1:$port/__journal/count")
signed=0
for i in $(seq 0 $((requests - 1))); do
    fields=$(curl -s "http://127.0.0.1:$port/__journal/$i/fields")
    case "$fields" in *IDALBUM=*) ;; *) continue ;; esac
    user=$(printf '%s\n' "$fields" | sed -n 's/^USER_ID=//p')
    ticket=$(printf '%s\n' "$fields" | sed -n 's/^USER_TICKET=//p')
    album=$(printf '%s\n' "$fields" | sed -n 's/^IDALBUM=//p')
    echo "    USER_ID=$user USER_TICKET=$ticket IDALBUM=$album"
    [ "$user" = 7001 ] && [ -n "$ticket" ] && [ "$album" = a7001_3 ] && signed=$((signed + 1))
done
[ "$signed" -eq 3 ] || { echo "demo: expected 3 uploads into the chosen album" >&2; exit 1; }

echo "demo: fetching every picture back from its code"
n=0
for url in $(printf '%s\n' "$codes" | grep -o '\[IMG\]http://[^[]*' | sed 's/\[IMG\]//'); do
    n=$((n + 1))
    curl -s -f -x "127.0.0.1:$port" -o "$out/fetched/$n" "$url"
    echo "    $url -> $(identify -format '%m %wx%h' "$out/fetched/$n" 2>/dev/null || echo 'not a picture')"
done
[ "$n" -eq 3 ] || { echo "demo: expected 3 codes, got $n" >&2; exit 1; }
echo "demo: done"
