#!/bin/sh
# Builds the Debian package of both programs (CPack) in the build folder:
# $BUILD_DIR/palisor_<version>_<arch>.deb. Installs what is missing first.
#   BUILD_DIR=...   build folder (default: build)
set -eu

cd "$(dirname "$0")/.."
sh scripts/deps.sh

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR" -j "$(nproc 2>/dev/null || echo 2)"

cd "$BUILD_DIR"
cpack -G DEB
for package in palisor_*.deb; do
    # What a user's apt will be asked for.
    dpkg-deb --field "$package" Package Version Architecture Depends
done
