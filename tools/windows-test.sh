#!/usr/bin/env bash
# Runs the Windows build's unit tests under Wine (tools/dev windows-test),
# on a virtual display of its own: JUCE's GUI support needs one even for
# tests that open no window, and every Wine process of one server must see
# the same display. Extra arguments go to ctest.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
app="${WINDOWS_BUILD_DIR:-$root/build-windows}/app"
export WINEPREFIX="$app/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="

"$root/tools/windows-prefix.sh" "$WINEPREFIX"

# Xvfb picks a free display number and tells us which.
exec 8< <(exec Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r -t 30 display <&8
export DISPLAY=":$display"

stop() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap stop EXIT

# Wine's helper processes inherit the output of whoever starts the server;
# started here, they leave ctest's pipes alone.
wineserver -p
wine cmd /c exit >/dev/null 2>&1

ctest --test-dir "$app" -L unit --output-on-failure "$@"
