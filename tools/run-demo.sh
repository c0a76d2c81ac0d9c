#!/usr/bin/env bash
# Runs the program from build/dist under Wine with the demo engine, headless: the demo engine
# prints what it received and returns, so the run ends by itself.
set -euo pipefail
dist=${1:-build/dist}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QDX_DEMO_AUTOCLOSE=1
status=0
"$here/tools/wine-run.sh" "$dist/OrdaviaStudio.exe" || status=$?
WINEPREFIX=${ORDAVIA_WINEPREFIX:-$here/build/wineprefix} wineserver -k 2>/dev/null || true
echo "OrdaviaStudio.exe exited with $status"
exit $status
