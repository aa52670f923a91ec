#!/bin/sh
# Builds the agent and starts it against the simulated root daemon, in a
# system root of its own with a private D-Bus and a few saved rules. The
# simulator first sends a few requests for real child processes (saved rules
# answer some) and a few connection reports for the connections log (written
# to the agent's log as well), then, on a terminal, reads more from it, one
# per line:
#   spawn /bin/sleep 300          start a process to ask about ({pid} is its pid)
#   1 10.0.0.5 443 {pid} TCP 4 0  a connection request
#   report 0 10.0.0.5 443 {pid} 6 0
#                                 a connection report (a seventh field: blocked)
# Ctrl-D or Ctrl-C ends the demo. Without a display the agent runs offscreen
# and a picture of its main window is written to $PALISOR_ROOT/mainwindow.png.
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

# The run folders as the installed daemon makes them: its own folder only its
# owner may change (root's on a real system), so no one puts another socket in
# place of the daemon's; the agents' folder open to every user but sticky, so
# no user removes another's socket.
mkdir -p "$PALISOR_ROOT/var/run/palisor/agent"
chmod 0755 "$PALISOR_ROOT/var/run/palisor"
chmod 1777 "$PALISOR_ROOT/var/run/palisor/agent"

# Saved rules: one program blocked, one asked with a pass and a block match.
mkdir -p "$PALISOR_ROOT/bin" "$PALISOR_ROOT/etc"
cp /bin/sleep "$PALISOR_ROOT/bin/demo-blocked"
cp /bin/sleep "$PALISOR_ROOT/bin/demo-mail"
cp /bin/sleep "$PALISOR_ROOT/bin/demo-new"
app_record() { # name state matches...
    name=$1; state=$2; shift 2
    printf '<dict><key>PalisorClassName</key><string>PAApplication</string>'
    printf '<key>appName</key><string>%s</string>' "$name"
    printf '<key>appPath</key><string>%s</string>' "$PALISOR_ROOT/bin/$name"
    printf '<key>appBinaries</key><array><string>%s</string></array>' "$PALISOR_ROOT/bin/$name"
    printf '<key>appIsBundle</key><false/><key>appIsBlockedOrAllowed</key><integer>%s</integer>' "$state"
    printf '<key>appMatches</key><array>'
    for match in "$@"; do printf '<string>%s</string>' "$match"; done
    printf '</array></dict>\n'
}
{
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><array>\n'
    printf '<dict><key>PalisorClassName</key><string>PAPreferences</string>'
    printf '<key>enableNotifications</key><true/><key>automaticXPC</key><true/>'
    # The connections log's lines go to the agent's log file too.
    printf '<key>loggaSuFile</key><true/>'
    # A short alert time-out, so that an unanswered alert ends the demo soon.
    printf '<key>notificationsTimeOut</key><real>20</real></dict>\n'
    app_record demo-blocked 1
    app_record demo-mail 4 "@10.0.0.5" "#443"
    printf '</array></plist>\n'
} >"$PALISOR_ROOT/etc/palisor.conf"

cat >"$PALISOR_ROOT/demo.script" <<SCRIPT
# Wait for the agent's readiness check and start.
wait 3000
# The connection-report extension tells of connections it saw: one passed,
# one blocked, and one of a process that has gone (listed by the path that
# came with it).
spawn $PALISOR_ROOT/bin/demo-mail 300
report 0 10.0.0.5 443 {pid} 6 0
report 0 93.184.216.34 80 {pid} 6 0 $PALISOR_ROOT/bin/demo-mail
gone
report 0 198.51.100.9 25 {pid} 6 0 /opt/Old Mailer/bin/mailer
spawn $PALISOR_ROOT/bin/demo-blocked 300
1 93.184.216.34 443 {pid} TCP 4 0
expect 1
spawn $PALISOR_ROOT/bin/demo-mail 300
2 10.0.0.5 443 {pid} TCP 4 0
expect 2
# No rule knows demo-new: a connection alert asks. Answer it, or its
# 20-second time-out passes the app for 30 seconds.
spawn $PALISOR_ROOT/bin/demo-new 300
3 198.51.100.7 80 {pid} TCP 4 0
expect 1 within 25000
gone
4 1.1.1.1 53 {pid} UDP 4 0
expect 1
SCRIPT

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    QT_QPA_PLATFORM=offscreen
    export QT_QPA_PLATFORM
    PALISOR_SCREENSHOT="$PALISOR_ROOT/mainwindow.png"
    export PALISOR_SCREENSHOT
fi

"$BUILD_DIR/Palisor.app/Contents/MacOS/PalisorAgent" "$@" &
AGENT_PID=$!
echo "demo.sh: agent $AGENT_PID starting"

# The simulator in the foreground (it is also the daemon the agent's
# readiness check looks for): the demo's requests, then the terminal's.
if [ -t 0 ]; then
    echo "demo.sh: after the demo's requests, type your own"
    "$BUILD_DIR/tools/palisorafd" --script "$PALISOR_ROOT/demo.script" --stdin --timeout 2
else
    "$BUILD_DIR/tools/palisorafd" --script "$PALISOR_ROOT/demo.script" --timeout 2 </dev/null
fi
LOG_FILE="$HOME/Library/Logs/palisor.log"
if [ -f "$LOG_FILE" ]; then
    echo "demo.sh: the connections the agent logged ($LOG_FILE):"
    grep -F '[CONN] #' "$LOG_FILE" || true
fi
if [ -n "${PALISOR_SCREENSHOT:-}" ] && [ -f "$PALISOR_SCREENSHOT" ]; then
    echo "demo.sh: main window pictured in $PALISOR_SCREENSHOT"
fi
