#!/bin/sh
# Builds the Debian package of both programs (CPack) in the build folder,
# $BUILD_DIR/palisor_<version>_<arch>.deb, and fails if lintian finds an error
# in it. Installs what is missing first.
#   BUILD_DIR=...   build folder (default: build)
#   JOBS=...        parallel build jobs (default: one per processor)
set -eu

cd "$(dirname "$0")/.."
sh scripts/deps.sh package

BUILD_DIR="${BUILD_DIR:-build}"
JOBS="${JOBS:-$(nproc 2>/dev/null || echo 2)}"

# A build folder that exists keeps its settings: after scripts/test.sh its
# programs are the tested ones and building it again finds nothing to do. A
# new one builds only what the package holds, without tests and benchmarks
# (scripts/test.sh turns them on again when it is run there).
if [ -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja
else
    cmake -S . -B "$BUILD_DIR" -G Ninja -DPALISOR_BUILD_TESTS=OFF -DPALISOR_BUILD_BENCH=OFF
fi
cmake --build "$BUILD_DIR" -j "$JOBS"

cd "$BUILD_DIR"
rm -f palisor_*.deb
cpack -G DEB
for package in palisor_*.deb; do
    # What a user's apt will be asked for.
    dpkg-deb --field "$package" Package Version Architecture Depends
    # dpkg-shlibdeps adds the linked libraries to the packages we name; one
    # named by both would be asked for twice.
    twice="$(dpkg-deb --field "$package" Depends | tr ',' '\n' |
        sed 's/^ *//; s/[ (].*//' | sort | uniq -d | tr '\n' ' ')"
    if [ -n "$twice" ]; then
        echo "package.sh: Depends names twice: $twice" >&2
        exit 1
    fi
    # The findings we accept are overridden, with their reasons, in
    # packaging/palisor.lintian-overrides.
    lintian --fail-on error "$package"
done
