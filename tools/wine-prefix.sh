#!/usr/bin/env bash
# Makes a headless Wine prefix once (null graphics driver). Safe to call from parallel tests.
set -euo pipefail
prefix=$1
[ -f "$prefix/.ordavia-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.ordavia-ready" ] && exit 0
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all DISPLAY=
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
rm -rf "$prefix"
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# No crash dialog: a crashing test must fail, not wait for a click.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.ordavia-ready"
