#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private, headless prefix.
# The prefix lives in $ORDAVIA_WINEPREFIX (default: build/wineprefix) and is made on first use.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${ORDAVIA_WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono/Gecko prompts, no desktop menu entries.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml=;winemenubuilder.exe="}
export DISPLAY=
"$here/tools/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
