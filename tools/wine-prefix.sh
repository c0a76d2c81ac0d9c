#!/usr/bin/env bash
# Makes a headless Wine prefix once (null graphics driver), for the flavour set up by
# wine-env.sh (WINEARCH, WINE). Safe to call from parallel tests.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=$1
[ -f "$prefix/.ordavia-ready" ] && exit 0
. "$here/tools/wine-env.sh"
case ${WINEARCH:-} in win64) wine_setup 64 ;; *) wine_setup 32 ;; esac
export WINEPREFIX=$prefix WINEDEBUG=-all
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.ordavia-ready" ] && exit 0
rm -rf "$prefix"
"${WINE[@]}" wineboot -i >/dev/null 2>&1
"${WINE[@]}" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# No crash dialog: a crashing test must fail, not wait for a click.
"${WINE[@]}" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.ordavia-ready"
