#!/bin/sh
# Checks an installer without running it: a PE file of the given machine whose payload is
# the client and the extension module of that machine, and not the other build's module.
# Usage: check-setup.sh SETUP MACHINE(i386|x86-64) MODULE
setup=$1 machine=$2 module=$3
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$setup" ] || fail "$setup is missing (make builds it; the x86 one comes from build/win32)"
format() { x86_64-w64-mingw32-objdump -f "$1" | sed -n 's/.*file format //p'; }
[ "$(format "$setup")" = "pei-$machine" ] || fail "$setup is $(format "$setup"), not pei-$machine"

listing=$(7z l -ba "$setup") || fail "7z cannot list $setup"
for name in LumexiaClient.exe "$module" uninstall.exe; do
    printf '%s\n' "$listing" | grep -q " $name\$" || fail "$setup does not carry $name"
done
other=Lumexia64Ext.dll
[ "$module" = Lumexia64Ext.dll ] && other=LumexiaExt.dll
printf '%s\n' "$listing" | grep -q " $other\$" && fail "$setup carries the other build's $other"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
7z e -y -o"$work" "$setup" LumexiaClient.exe "$module" >/dev/null || fail "7z cannot extract from $setup"
for name in LumexiaClient.exe "$module"; do
    [ "$(format "$work/$name")" = "pei-$machine" ] || fail "$name in $setup is $(format "$work/$name")"
done
echo "ok: $setup is pei-$machine with LumexiaClient.exe and $module"
