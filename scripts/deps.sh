#!/bin/sh
# Installs what the build and the tests need, with apt-get. Idempotent and
# quiet; reads no standard input; runs as root or through sudo.
#   deps.sh package   also what scripts/package.sh checks the package with
set -eu

PACKAGES="
g++
cmake
ninja-build
pkg-config
qt6-base-dev
qt6-svg-dev
libgl-dev
libplist-dev
libplist++-dev
libcanberra-dev
libgtest-dev
libgmock-dev
libbenchmark-dev
dbus
dbus-daemon
clang-format
dpkg-dev
file
libgeoip-dev
geoip-database
iso-flags-svg
xvfb
xauth
qt6-qpa-plugins
"
if [ "${1:-}" = package ]; then
    PACKAGES="$PACKAGES lintian"
fi

missing=""
for package in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo -n"
else
    echo "deps.sh: missing packages:$missing; run as root or install sudo" >&2
    exit 1
fi

echo "deps.sh: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq </dev/null
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing </dev/null >/dev/null
