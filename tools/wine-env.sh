# Sourced by the Wine scripts: wine_setup <flavour> sets up the environment of one flavour's
# private, headless prefix. Flavour 64 always runs through Wine's 64-bit loader (the `wine`
# wrapper picks the 32-bit loader whenever wine32 is installed); flavour 32 through `wine`.
# The prefix is $ORDAVIA_WINEPREFIX, else build/wineprefix or build64/wineprefix.
wine_setup() {
    local flavour=$1 here
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    case $flavour in
        64) export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
            WINE=(/usr/lib/wine/wine64)
            export WINEPREFIX=${ORDAVIA_WINEPREFIX:-$here/build64/wineprefix} ;;
        32) export WINEARCH=win32
            unset WINELOADER
            WINE=(wine)
            export WINEPREFIX=${ORDAVIA_WINEPREFIX:-$here/build/wineprefix} ;;
        *) echo "unknown flavour '$flavour'" >&2; return 2 ;;
    esac
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono/Gecko prompts, no desktop menu entries.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml=;winemenubuilder.exe="}
    export DISPLAY=
}

# pe_flavour <file>: 32 or 64, from the machine field of a Windows program's PE header.
pe_flavour() {
    local pe machine
    pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ')
    case $machine in
        8664) echo 64 ;;
        014c) echo 32 ;;
        *) echo "$1: not a Windows x86 program (machine '$machine')" >&2; return 1 ;;
    esac
}
