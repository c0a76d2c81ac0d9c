#!/usr/bin/env bash
# Runs a Windows program under Wine in its flavour's private, headless prefix (made on first
# use). The flavour (32 or 64) comes from the program itself.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$here/tools/wine-env.sh"
program=$1
[ -f "$program" ] || { [ -f "$program.exe" ] && program=$program.exe; }
wine_setup "$(pe_flavour "$program")"
"$here/tools/wine-prefix.sh" "$WINEPREFIX"
shift
exec "${WINE[@]}" "$program" "$@"
