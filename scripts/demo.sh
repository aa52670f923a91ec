#!/bin/sh
# Builds the agent and starts it against the simulated root daemon, in a
# system root of its own with a private D-Bus. The simulator reads requests
# from the terminal, one per line:
#   spawn /bin/sleep 300          start a process to ask about ({pid} is its pid)
#   1 10.0.0.5 443 {pid} TCP 4 0  a connection request
# Ctrl-D or Ctrl-C ends the demo.
set -eu

cd "$(dirname "$0")/.."
sh scripts/deps.sh

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja
cmake --build "$BUILD_DIR" -j "$(nproc 2>/dev/null || echo 2)"

# Everything the agent reads and writes stays inside a root of its own.
if [ -z "${PALISOR_ROOT:-}" ]; then
    PALISOR_ROOT="$(mktemp -d /tmp/palisor-demo.XXXXXX)"
fi
export PALISOR_ROOT
# The agent's log and preferences go to a home inside the root as well.
HOME="$PALISOR_ROOT/home"
export HOME
mkdir -p "$HOME"
echo "demo.sh: PALISOR_ROOT=$PALISOR_ROOT"

# A bus of the demo's own carries the agent's notifications to the simulator.
BUS_FILE="$PALISOR_ROOT/bus"
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$BUS_FILE.address" 4>"$BUS_FILE.pid"
PALISOR_DBUS_ADDRESS="$(cat "$BUS_FILE.address")"
export PALISOR_DBUS_ADDRESS

AGENT_PID=""
cleanup() {
    if [ -n "$AGENT_PID" ]; then
        # The agent sends its configuration on the bus as it ends: let it.
        kill "$AGENT_PID" 2>/dev/null || true
        wait "$AGENT_PID" 2>/dev/null || true
    fi
    kill "$(cat "$BUS_FILE.pid")" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# An installed system as the agent's readiness check looks at it: the filter
# extension's bundle at its version and loaded, the daemon's launch plist (the
# simulator below is the running palisorafd).
KEXT="$PALISOR_ROOT/Library/Extensions/palisornke.kext/Contents"
mkdir -p "$KEXT" "$PALISOR_ROOT/sys/module/palisornke" "$PALISOR_ROOT/Library/LaunchDaemons"
cat >"$KEXT/Info.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>CFBundleVersion</key><string>2.1.0</string></dict></plist>
PLIST
cat >"$PALISOR_ROOT/Library/LaunchDaemons/zz.tolvane.palisorafd.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>Label</key><string>zz.tolvane.palisorafd</string></dict></plist>
PLIST

# The run folders the installed daemon would make; anyone may send to them.
mkdir -p "$PALISOR_ROOT/var/run/palisor/agent"
chmod 0777 "$PALISOR_ROOT/var/run/palisor" "$PALISOR_ROOT/var/run/palisor/agent"

"$BUILD_DIR/Palisor.app/Contents/MacOS/PalisorAgent" "$@" &
AGENT_PID=$!
echo "demo.sh: agent $AGENT_PID starting; type requests for the simulated daemon"

# The simulator in the foreground, reading the terminal (it is also the
# daemon the agent's readiness check looks for); after the input ends it
# listens two seconds more for the last answers.
"$BUILD_DIR/tools/palisorafd" --stdin --timeout 2
