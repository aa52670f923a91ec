#!/bin/sh
# Builds the agent and starts it.
set -eu

cd "$(dirname "$0")/.."
sh scripts/deps.sh

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR" -j "$(nproc 2>/dev/null || echo 2)"

# Everything the agent reads and writes stays inside a root of its own.
if [ -z "${PALISOR_ROOT:-}" ]; then
    PALISOR_ROOT="$(mktemp -d /tmp/palisor-demo.XXXXXX)"
    export PALISOR_ROOT
fi
echo "demo.sh: PALISOR_ROOT=$PALISOR_ROOT"
# The agent's log and preferences go to a home inside the root as well.
HOME="$PALISOR_ROOT/home"
export HOME
mkdir -p "$HOME"

exec "$BUILD_DIR/Palisor.app/Contents/MacOS/PalisorAgent" "$@"
