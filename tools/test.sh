#!/usr/bin/env bash
# test.sh "<flavours>" <32-bit build> <64-bit build>: runs every test of each flavour this
# machine can run (ctest under Wine, one prefix per flavour) and closes with one line naming
# the flavours that ran and one summing their tests.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flavours=$1
declare -A dirs=([32]=$2 [64]=$3)
status=0 passed=0 failed=0
report=()
for f in $flavours; do
    dir=$(cd "${dirs[$f]}" && pwd)
    if [ "$f" = 32 ]; then
        if ! reason=$(bash "$here/tools/can-run32.sh" "$dir"); then
            echo "32-bit flavour not run: $reason"
            report+=("32-bit not run ($reason)")
            continue
        fi
    fi
    echo "== $f-bit flavour: $dir"
    log=$(mktemp)
    ORDAVIA_WINEPREFIX=$dir/wineprefix ctest --test-dir "$dir" --output-on-failure -j "${JOBS:-$(nproc)}" | tee "$log"
    rc=${PIPESTATUS[0]}
    WINEPREFIX=$dir/wineprefix wineserver -k 2>/dev/null || true
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
    rm -f "$log"
    if [ -n "$line" ]; then
        nfail=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((passed + total - nfail)); failed=$((failed + nfail))
        report+=("$f-bit ran ($((total - nfail)) passed, $nfail failed)")
    else
        failed=$((failed + 1))
        report+=("$f-bit did not finish (ctest exit $rc)")
    fi
    [ "$rc" = 0 ] || status=1
done
[ ${#report[@]} -gt 0 ] || { echo "no flavour chosen"; exit 2; }
echo
echo "Flavours: $(IFS=';'; echo "${report[*]}" | sed 's/;/; /g')"
echo "Flavours: $passed passed, $failed failed"
exit $status
