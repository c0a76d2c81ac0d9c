#!/usr/bin/env bash
# Pictures of the running program for the README: the splash, the demo engine's window with
# the shell's Internet menu dropped down, and the language dialog. The program runs from a
# copy of a build's dist folder (with a few sample language packs) under Xvfb, in a Wine
# prefix of its own that draws through X11 into a Wine desktop window; the tests' prefix uses
# the null driver, where nothing is drawn.
#
#   tools/screenshots/take.sh [BUILD_DIR]      (default: build64; writes docs/*.png)
#
# Needs Debian's xvfb and x11-apps (for xwd); installs them when they are missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tools=$here/tools/screenshots
build=$(cd "${1:-$here/build64}" && pwd)
out=$here/docs
mkdir -p "$out"

if ! command -v Xvfb >/dev/null || ! command -v xwd >/dev/null; then
    SUDO=""; [ "$(id -u)" = 0 ] || SUDO="sudo"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends xvfb x11-apps >/dev/null
fi

. "$here/tools/wine-env.sh"
wine_setup "$(pe_flavour "$build/dist/OrdaviaStudio.exe")"
export WINEPREFIX=$build/wineprefix-x11
display=:${ORDAVIA_SHOT_DISPLAY:-87}
desktop=800x600

work=$(mktemp -d)
Xvfb "$display" -screen 0 ${desktop}x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display
sleep 1

if [ ! -f "$WINEPREFIX/.ordavia-x11-ready" ]; then
    "${WINE[@]}" wineboot -i >/dev/null 2>&1
    "${WINE[@]}" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ordavia-x11-ready"
fi

cp -r "$build/dist/." "$work/program/" 2>/dev/null || { mkdir -p "$work/program"; cp -r "$build/dist/." "$work/program/"; }
python3 "$tools/sample_packs.py" "$work/program/lang"

# start <environment...>: the program inside a Wine desktop window as large as the screen.
start() {
    env "$@" "${WINE[@]}" explorer "/desktop=Ordavia,$desktop" "$work/program/OrdaviaStudio.exe" >/dev/null 2>&1 &
}
dump() {
    xwd -root -silent -display "$display" >"$1"
}
finish() {
    wineserver -k 2>/dev/null || true
    wait 2>/dev/null || true
    sleep 1
}

# The splash fades in over about two seconds: dumps several times a second and keeps the one
# where its picture is most complete (the light name bar of the picture, at its place on the
# centred splash, is closest to its own colour).
start
for i in $(seq -w 1 40); do
    dump "$work/splash-$i.xwd"
    sleep 0.2
done
finish
python3 "$tools/xwd2png.py" --closest 295 355 240 240 245 "$out/splash.png" "$work"/splash-*.xwd

start QDX_DEMO_OPEN_MENU=2
sleep 12
dump "$work/menus.xwd"
finish
python3 "$tools/xwd2png.py" "$work/menus.xwd" "$out/menus.png"

start QDX_DEMO_COMMAND=2000
sleep 12
dump "$work/languages.xwd"
finish
python3 "$tools/xwd2png.py" "$work/languages.xwd" "$out/languages.png"

echo "written: $out/splash.png $out/menus.png $out/languages.png"
