#!/bin/sh
# Fails when a binary in dist/ imports a DLL that is not part of the system, such as the
# MinGW runtime (libstdc++-6, libgcc_s_*, libwinpthread-1).
dist=${1:?usage: check-imports.sh DIST_DIR}
allowed='^(kernel32|user32|gdi32|gdiplus|comctl32|comdlg32|shell32|shlwapi|ole32|oleaut32|advapi32|winhttp|wininet|msvcrt|msimg32|crypt32|rpcrt4|uxtheme|version|ws2_32)\.dll$'
found=0
bad=0
for f in "$dist"/win32/* "$dist"/win64/*; do
    case "$f" in *.exe|*.dll) ;; *) continue ;; esac
    found=$((found + 1))
    for dll in $(x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
        lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
        if ! printf '%s' "$lower" | grep -Eq "$allowed"; then
            echo "FAIL: $f imports $dll"
            bad=1
        fi
    done
done
if [ "$found" -eq 0 ]; then
    echo "FAIL: no binaries in $dist"
    exit 1
fi
[ "$bad" -eq 0 ] && echo "ok: $found binaries import system DLLs only"
exit "$bad"
