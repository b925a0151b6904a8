#!/bin/bash
# `make run`: the client on the user's own display (or a private Xvfb), against the
# stand-in service, with no task file: drop pictures onto the dialog to add them.
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
standin="$build/run-standin"
trap '"$here/standin/standin-ctl" stop "$standin" >/dev/null 2>&1 || true' EXIT
"$here/standin/standin-ctl" start "$standin" $$
port=$(cat "$standin/port")
data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/lumexia"
mkdir -p "$data"
if [ ! -f "$data/config2.txt" ]; then
    printf '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<settings></settings>\n' \
        >"$data/config2.txt"
fi
# Point the proxy setting at this run's stand-in, keeping every other setting.
python3 - "$data/config2.txt" "$port" <<'PY'
import sys, xml.etree.ElementTree as ET
path, port = sys.argv[1], sys.argv[2]
tree = ET.parse(path)
root = tree.getroot()
for name, value in (("proxyisuse", "True"), ("proxyfull", "127.0.0.1:" + port)):
    for s in root.findall("setting"):
        if s.get("name") == name:
            root.remove(s)
    ET.SubElement(root, "setting", name=name, value=value)
tree.write(path, encoding="UTF-8", xml_declaration=True)
PY
echo "run: stand-in on 127.0.0.1:$port; close the dialog to end"
"$WINE" "$build/bin/LumexiaClient.exe" </dev/null >/dev/null 2>&1
