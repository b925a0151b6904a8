# Shared by the Wine helpers: launcher paths, environment and prefix creation.
# Sourced, not run.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine honours these for WinHTTP's default configuration; the tests want none.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

# Creates the prefix once (about 10 s) and maps Verdana, which GDI+ needs for the
# inscription, to DejaVu Sans. Windows are unmanaged: with no window manager on Xvfb,
# Wine would otherwise wait 2 s for one at every hide or end of a top-level window.
# A crashing program prints its backtrace on stderr and ends at once: Wine's crash
# dialog on Xvfb would wait for a click until CTest's time-out.
# Serialised by a lock so parallel callers wait; a prefix made before a setting was
# added gets it on its next use (the marker names the settings' version).
wine_prepare_prefix() {
    local prefix=$1
    mkdir -p "$prefix" || return 1
    (
        flock 9
        [ -f "$prefix/.lumexia-ready-3" ] && exit 0
        WINEPREFIX=$prefix "$WINE" wineboot -i </dev/null >/dev/null 2>&1 9>&-
        WINEPREFIX=$prefix "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
            /v Verdana /d 'DejaVu Sans' /f </dev/null >/dev/null 2>&1 9>&-
        WINEPREFIX=$prefix "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' \
            /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
        WINEPREFIX=$prefix "$WINE" reg add 'HKCU\Software\Wine\WineDbg' \
            /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 9>&-
        WINEPREFIX=$prefix "$WINESERVER" -w 9>&-
        rm -f "$prefix/.lumexia-ready" "$prefix/.lumexia-ready-2"
        touch "$prefix/.lumexia-ready-3"
    ) 9>"$prefix.lock"
}

# Starts the prefix's persistent server and boots the prefix, once however many callers
# ask at a time, with the output detached: the system processes the boot starts would
# otherwise inherit a caller's output pipes and hold them open.
wine_start_server() {
    local prefix=$1
    (
        flock 9
        if WINEPREFIX=$prefix "$WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-; then
            WINEPREFIX=$prefix "$WINE" wineboot </dev/null >/dev/null 2>&1 9>&-
        fi
    ) 9>"$prefix/.lock"
}
