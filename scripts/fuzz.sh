#!/usr/bin/env bash
# Native coverage-guided fuzzing (clang's libFuzzer on the Linux host, not
# under Wine): builds the targets of fuzz/ into $HM_BUILD_ROOT/fuzz and runs
# each for the given time, one process at a time. Each run starts from the
# corpus in the repository (fuzz/corpus/<Target>) and works on a copy in the
# build folder; inputs that crash in a run are kept in
# $HM_BUILD_ROOT/fuzz/crashes/<Target> until the target's next run.
#   scripts/fuzz.sh [--time SECONDS] [--update-corpus] [TARGET...]
#     --time SECONDS    fuzzing time per target (default 600)
#     --update-corpus   merge what the runs found into fuzz/corpus (only
#                       inputs that add coverage are kept)
# Prints one line per target: executions, coverage (cov: edges, ft: features),
# corpus size and crashes. Exits non-zero when a target crashed or does not build.
set -uo pipefail
. "$(dirname "$0")/common.sh"

seconds=600
update=
targets=()
while [ $# -gt 0 ]; do
    case $1 in
        --time) seconds=${2:?}; shift 2 ;;
        --update-corpus) update=1; shift ;;
        -*) hm_die "usage: scripts/fuzz.sh [--time SECONDS] [--update-corpus] [TARGET...]" ;;
        *) targets+=("$1"); shift ;;
    esac
done

tinyxml=$(find "$HM_CACHE/src" -maxdepth 1 -mindepth 1 -type d -name 'tinyxml-*' | sort | tail -n 1)
[ -n "$tinyxml" ] || hm_die "TinyXML sources missing; run scripts/setup.sh"
command -v clang++ >/dev/null || hm_die "clang is missing; run scripts/setup.sh"

build=$HM_BUILD_ROOT/fuzz
cmake -S "$HM_ROOT/fuzz" -B "$build" -G Ninja -Wno-dev -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DHM_TINYXML_DIR="$tinyxml" >/dev/null || hm_die "configuring the fuzz targets failed"
if ! cmake --build "$build" >"$build/build.log" 2>&1; then
    grep -E 'error|FAILED' "$build/build.log" | head -n 40 >&2
    hm_die "building the fuzz targets failed (full log: $build/build.log)"
fi

if [ ${#targets[@]} -eq 0 ]; then
    for src in "$HM_ROOT"/fuzz/*Target.cpp; do
        name=$(basename "$src" Target.cpp)
        targets+=("$name")
    done
fi

status=0
printf '%-10s %12s %8s %8s %8s %8s\n' target executions cov ft corpus crashes
for t in "${targets[@]}"; do
    exe=$build/$t
    [ -x "$exe" ] || hm_die "no fuzz target named $t"
    seeds=$HM_ROOT/fuzz/corpus/$t
    work=$build/corpus/$t
    crashes=$build/crashes/$t # this run's crash inputs only
    rm -rf "$crashes"
    mkdir -p "$seeds" "$work" "$crashes"
    dict=()
    [ -f "$HM_ROOT/fuzz/dict/$t.dict" ] && dict=(-dict="$HM_ROOT/fuzz/dict/$t.dict")
    log=$build/$t.log
    # One process: the machine's cores are shared.
    "$exe" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$crashes/" \
        "${dict[@]}" "$work" "$seeds" >"$log" 2>&1
    result=$?
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    corp=$(echo "$last" | sed -n 's/.* corp: \([0-9]*\).*/\1/p')
    found=$(find "$crashes" -type f | wc -l)
    printf '%-10s %12s %8s %8s %8s %8s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$found"
    if [ $result -ne 0 ] || [ "$found" -ne 0 ]; then
        grep -E 'ERROR|fuzz check failed|SUMMARY' "$log" | head -n 5 >&2
        hm_log "$t: crash inputs in $crashes (log: $log)"
        status=1
    fi
    if [ -n "$update" ]; then
        "$exe" -merge=1 "$seeds" "$work" >"$build/$t.merge.log" 2>&1 || hm_log "$t: merging the corpus failed"
    fi
done
exit $status
