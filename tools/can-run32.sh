#!/usr/bin/env bash
# can-run32.sh <32-bit build folder>: exit 0 when this machine can run the 32-bit flavour
# under Wine; otherwise prints the reason on one line and exits 1. Decided by starting 32-bit
# programs, never assumed.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$1
if ! bash "$here/tools/probe32.sh" "${TMPDIR:-/tmp}"; then
    echo "this machine's kernel does not run 32-bit code (a 32-bit program gave \"Exec format error\")"
    exit 1
fi
if [ ! -x /usr/lib/wine/wine ]; then
    echo "Wine's 32-bit loader (wine32) is not installed"
    exit 1
fi
. "$here/tools/wine-env.sh"
export ORDAVIA_WINEPREFIX=${ORDAVIA_WINEPREFIX:-$(cd "$dir" && pwd)/wineprefix}
wine_setup 32
if ! timeout 300 "$here/tools/wine-prefix.sh" "$WINEPREFIX" || ! timeout 60 "${WINE[@]}" cmd /c exit 0 >/dev/null 2>&1; then
    echo "a 32-bit Windows program did not run under Wine"
    exit 1
fi
exit 0
