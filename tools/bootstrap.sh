#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need, when any is missing.
# Idempotent: a machine that has everything returns at once.
set -e
# tinyproxy-bin is the proxy program alone, without the system service that would listen on
# every address: the tests start their own on 127.0.0.1 (tools/proxy/proxy-ctl).
PKGS="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine64 wine64-tools
      xvfb xauth x11-utils imagemagick cmake make googletest python3 fonts-dejavu-core curl
      nsis p7zip-full tinyproxy-bin"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "bootstrap: installing$missing"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
