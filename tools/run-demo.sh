#!/usr/bin/env bash
# run-demo.sh "<flavours>" <32-bit build> <64-bit build>: runs the program from a build's dist
# folder under Wine with the demo engine, headless: the demo engine prints what it received and
# returns, so the run ends by itself. The 32-bit product where this machine can run it, else
# the 64-bit edition.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flavours=$1 dir32=$2 dir64=$3
flavour=
if [[ " $flavours " == *" 32 "* ]]; then
    if reason=$(bash "$here/tools/can-run32.sh" "$dir32"); then
        flavour=32
    else
        echo "Running the 64-bit edition: the 32-bit product cannot run here ($reason)."
    fi
fi
if [ -z "$flavour" ]; then
    [[ " $flavours " == *" 64 "* ]] || { echo "the 32-bit product cannot run here and the 64-bit edition was not built" >&2; exit 1; }
    flavour=64
fi
dir=$dir64; [ $flavour = 32 ] && dir=$dir32
dir=$(cd "$dir" && pwd)
echo "Running the $flavour-bit program from $dir/dist"
export QDX_DEMO_AUTOCLOSE=1 ORDAVIA_WINEPREFIX=$dir/wineprefix
status=0
"$here/tools/wine-run.sh" "$dir/dist/OrdaviaStudio.exe" || status=$?
WINEPREFIX=$ORDAVIA_WINEPREFIX wineserver -k 2>/dev/null || true
echo "OrdaviaStudio.exe exited with $status"
exit $status
