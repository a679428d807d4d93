#!/usr/bin/env bash
# Makes the Wine prefix PREFIX once, set up for unattended runs: a crash ends
# the program instead of waiting on a dialog, and windows close at once with
# no window manager. Safe to run from several processes at the same time.
set -euo pipefail

prefix="$1"
[ -f "$prefix/.quellon-ready" ] && exit 0

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.quellon-ready" ] && exit 0

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.quellon-ready"
