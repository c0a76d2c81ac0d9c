#!/usr/bin/env bash
# fuzz.sh build | run | replay: the native fuzz targets (fuzz/), one per kind of outside input,
# built with clang-14 under AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/;
# the data manager's targets link the native wxWidgets that tools/native-wx.sh builds once.
#   build    configures and builds the targets and writes their seed corpora (build-fuzz/seeds/)
#   run [target...]
#            builds, then fuzzes every target (or the ones named) for FUZZ_SECONDS (default 60) each, two at a time,
#            and prints per target its runs, executions per second, edges covered and crashes;
#            a crash is kept as a reproducer in fuzz/reproducers/<target>/
#   replay   builds, then runs every target once over its seeds and kept reproducers; its last
#            line is "replay: <passed> passed, <failed> failed", one count per target
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$here/build-fuzz
seconds=${FUZZ_SECONDS:-60}
# No input may take a second or a single allocation over 256 MiB. The process as a whole gets
# libFuzzer's usual 2 GiB: the sanitizers' shadow memory and freed-block quarantine alone pass
# 256 MiB of resident memory within a minute of fuzzing, whatever the input.
limits=(-timeout=1 -malloc_limit_mb=256 -rss_limit_mb=2048)
mapfile -t targets < <(grep -E '^[a-z_]+$' "$here/fuzz/targets.txt")

build() {
    local wx
    wx=$(bash "$here/tools/native-wx.sh") || return 1
    if [ ! -f "$out/CMakeCache.txt" ] || ! grep -qx "NATIVE_WX:PATH=$wx" "$out/CMakeCache.txt"; then
        cmake -S "$here/fuzz" -B "$out" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE= -DNATIVE_WX:PATH="$wx" \
            >/dev/null || return 1
    fi
    cmake --build "$out" -j 2 -- --no-print-directory >/dev/null || { cmake --build "$out" -j 1; return 1; }
    python3 "$here/fuzz/make_seeds.py" "$out/seeds"
}

# fuzz_one <target>: one fuzzing session; its log goes to build-fuzz/logs/<target>.log.
fuzz_one() {
    local t=$1 dict=()
    mkdir -p "$out/corpus/$t" "$out/logs" "$here/fuzz/reproducers/$t"
    [ -f "$here/fuzz/dict/$t.dict" ] && dict=(-dict="$here/fuzz/dict/$t.dict")
    "$out/$t" "${limits[@]}" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$here/fuzz/reproducers/$t/" "$out/corpus/$t" "$out/seeds/$t" \
        >"$out/logs/$t.log" 2>&1
    echo $? >"$out/logs/$t.rc"
}

summary() {
    local t=$1 log=$out/logs/$t.log runs eps cov crashes
    runs=$(grep -oE 'stat::number_of_executed_units: +[0-9]+' "$log" | tail -n1 | grep -oE '[0-9]+$')
    eps=$(grep -oE 'stat::average_exec_per_sec: +[0-9]+' "$log" | tail -n1 | grep -oE '[0-9]+$')
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -n1 | grep -oE '[0-9]+$')
    crashes=$(grep -cE '^artifact_prefix=|Test unit written to' "$log")
    printf '%-16s runs %10s  exec/s %7s  edges %6s  crashes %s\n' "$t" "${runs:-?}" "${eps:-?}" "${cov:-?}" "$crashes"
    if [ "$crashes" != 0 ]; then
        grep -E 'Test unit written to' "$log" | sed 's/^/    /'
        grep -m1 -E 'ERROR: |runtime error' "$log" | sed 's/^/    /'
    fi
}

run() {
    [ $# = 0 ] || targets=("$@")
    build || exit 1
    local i pids=()
    echo "fuzzing ${#targets[@]} targets for ${seconds} s each, two at a time"
    for ((i = 0; i < ${#targets[@]}; i += 2)); do
        fuzz_one "${targets[i]}" &
        pids=($!)
        if [ $((i + 1)) -lt ${#targets[@]} ]; then fuzz_one "${targets[i + 1]}" & pids+=($!); fi
        wait "${pids[@]}"
    done
    local status=0 t
    for t in "${targets[@]}"; do
        summary "$t"
        [ "$(cat "$out/logs/$t.rc")" = 0 ] || status=1
    done
    exit $status
}

replay() {
    build >/dev/null || { echo "replay: 0 passed, 1 failed (the native build failed)"; exit 1; }
    local passed=0 failed=0 t files
    for t in "${targets[@]}"; do
        files=()
        while IFS= read -r f; do files+=("$f"); done < <(find "$out/seeds/$t" "$here/fuzz/reproducers/$t" -type f \
            ! -name '.*' 2>/dev/null | sort)
        # Without a file the target would start fuzzing instead.
        if [ ${#files[@]} = 0 ]; then failed=$((failed + 1)); echo "replay $t: FAILED (no seeds)"; continue; fi
        if "$out/$t" "${limits[@]}" "${files[@]}" >"$out/replay-$t.log" 2>&1; then
            passed=$((passed + 1)); echo "replay $t: ${#files[@]} inputs"
        else
            failed=$((failed + 1)); echo "replay $t: FAILED (${#files[@]} inputs)"
            grep -E 'Running: |ERROR: |runtime error' "$out/replay-$t.log" | tail -n 4 | sed 's/^/    /'
        fi
    done
    echo "replay: $passed passed, $failed failed"
    [ $failed = 0 ]
}

case ${1:-} in
build) build ;;
run) shift; run "$@" ;;
replay) replay ;;
*) echo "usage: $0 build|run|replay" >&2; exit 2 ;;
esac
