#!/usr/bin/env bash
# test.sh "<flavours>" <32-bit build> <64-bit build>: runs every test of each flavour this
# machine can run (ctest under Wine, one prefix per flavour) and closes with one line naming
# the flavours that ran and one summing their tests. A flavour that cannot run here still gets
# its static checks (the tests labelled "static", which only read the built files). After the
# flavours, the native fuzz targets replay their seeds and kept reproducers under the
# sanitizers (tools/fuzz.sh replay), one count per target.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flavours=$1
declare -A dirs=([32]=$2 [64]=$3)
status=0 passed=0 failed=0
report=()

# run_ctest <what ran> <build> [ctest arguments...]: runs ctest, adds its counts to the sums
# and one entry to the report.
run_ctest() {
    local what=$1 dir=$2 log rc line nfail total
    shift 2
    log=$(mktemp)
    ORDAVIA_WINEPREFIX=$dir/wineprefix ctest --test-dir "$dir" --output-on-failure "$@" | tee "$log"
    rc=${PIPESTATUS[0]}
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
    rm -f "$log"
    if [ -n "$line" ]; then
        nfail=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((passed + total - nfail)); failed=$((failed + nfail))
        report+=("$what ($((total - nfail)) passed, $nfail failed)")
    else
        failed=$((failed + 1))
        report+=("$what did not finish (ctest exit $rc)")
    fi
    [ "$rc" = 0 ] || status=1
}

for f in $flavours; do
    dir=$(cd "${dirs[$f]}" && pwd)
    if [ "$f" = 32 ]; then
        if ! reason=$(bash "$here/tools/can-run32.sh" "$dir"); then
            echo "32-bit flavour not run: $reason"
            echo "== 32-bit flavour, static checks only: $dir"
            run_ctest "32-bit not run ($reason), its static checks ran" "$dir" -L static
            continue
        fi
    fi
    echo "== $f-bit flavour: $dir"
    run_ctest "$f-bit ran" "$dir" -j "${JOBS:-$(nproc)}"
    WINEPREFIX=$dir/wineprefix wineserver -k 2>/dev/null || true
done
[ ${#report[@]} -gt 0 ] || { echo "no flavour chosen"; exit 2; }

# run_replay: the native sanitizer replay, counted like a ctest run.
run_replay() {
    local log rc line np nf
    echo "== native sanitizer replay: build-fuzz"
    log=$(mktemp)
    bash "$here/tools/fuzz.sh" replay | tee "$log"
    rc=${PIPESTATUS[0]}
    line=$(grep -E '^replay: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n1)
    rm -f "$log"
    if [ -n "$line" ]; then
        np=$(sed -E 's/^replay: ([0-9]+) passed.*/\1/' <<<"$line")
        nf=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")
        passed=$((passed + np)); failed=$((failed + nf))
        report+=("native sanitizer replay ran ($np passed, $nf failed)")
    else
        failed=$((failed + 1))
        report+=("native sanitizer replay did not finish (exit $rc)")
    fi
    [ "$rc" = 0 ] || status=1
}
run_replay
echo
echo "Flavours: $(IFS=';'; echo "${report[*]}" | sed 's/;/; /g')"
echo "Flavours: $passed passed, $failed failed"
exit $status
