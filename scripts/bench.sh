#!/usr/bin/env bash
# Runs the benchmarks under wine64 and prints their tables: rule file, image
# and matching costs, log append rate, process manager refresh and finder
# costs with 100 extra processes, canonical file and key names beside an
# open (bench_names), the rule editor with 10 and 10,000 rules
# (open, select, delete, save, filter), and the request round trip through the
# installed guard and driver beside a bare two-process event ping-pong,
# measured interleaved (bench_road), and the cost of interception: 2,000
# opens of an existing file by a guarded program against the same program
# with the guard off, in five interleaved pairs; and real Windows tools
# (xcopy, reg import, program starts, msiexec) with the guard off, on, and on
# asking about every operation (scripts/bench-workloads.sh, HM_BENCH_ROUNDS
# rounds, default 5).
#   scripts/bench.sh [rounds]     (round trips per row, default 1000)
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
rounds=${1:-1000}

"$HM_ROOT/scripts/setup.sh" || exit 1
"$HM_ROOT/scripts/build.sh" x86_64 || [ -f "$HM_BUILD_ROOT/x86_64/stage/Harrowmere.exe" ] || exit 1
trap hm_wine_down EXIT
hm_wine_up
bench=$HM_BUILD_ROOT/x86_64/bench

for b in "$bench"/bench_rules.exe "$bench"/bench_log.exe "$bench"/bench_sysview.exe "$bench"/bench_names.exe "$bench"/bench_editor.exe; do
    [ -f "$b" ] || continue
    echo "== $(basename "$b" .exe)"
    (cd "$bench" && hm_wine "$(basename "$b")" | tr -d '\r')
    echo
done

# The guard with two rules: one that only answers, one that also logs.
program_dir="$WINEPREFIX/drive_c/Program Files/Harrowmere"
mkdir -p "$program_dir"
cp -f "$HM_BUILD_ROOT/x86_64/stage/"* "$program_dir/"
cat >"$program_dir/Harrowmere.erd" <<'RULES'
<HarrowmereRule Version="1">
    <Program Name="*" Hook="Enabled">
        <Rule GroupId="1" Info="bench quiet" Reason="OpenFile" Action="Reject" Log="None" Ask="Disabled" Scan="Disabled">
            <Param Wildcards="C:\bench\quiet\*" />
        </Rule>
        <Rule GroupId="1" Info="bench logged" Reason="OpenFile" Action="Reject" Log="Log" Ask="Disabled" Scan="Disabled">
            <Param Wildcards="C:\bench\logged\*" />
        </Rule>
        <Group Id="1" Name="bench" Info="bench" />
    </Program>
</HarrowmereRule>
RULES
hm_wine "C:\\Program Files\\Harrowmere\\Harrowmere.exe" /background >"$HM_RUN_DIR/bench-guard.out" 2>&1 &
for i in $(seq 1 50); do grep -q 'CreateFile' "$HM_RUN_DIR/bench-guard.out" 2>/dev/null && break; sleep 0.2; done
sleep 1

echo "== request round trip ($rounds rounds, each a ping-pong and one operation per row)"
(cd "$bench" && hm_wine bench_road.exe "$rounds" | tr -d '\r')
cp -f "$HM_BUILD_ROOT/x86_64/stage/Harrowmere.erd" "$program_dir/Harrowmere.erd"

# Interception: the same program opens an existing file 2,000 times guarded
# (started through GuardedRun.exe, monitoring on, no rule matches the file)
# and with the guard off (not running, so nothing delivers the sensor); the
# third column is the sensor loaded while the guard is off (the driver
# answers at once). Five pairs, interleaved; the median ratio is printed.
echo "== interception (2000 opens of an existing file per run, microseconds)"
mkdir -p "$WINEPREFIX/drive_c/bench"
cp -f "$HM_BUILD_ROOT/x86_64/tests/hm_intercept_helper.exe" "$WINEPREFIX/drive_c/bench/opener.exe"
echo "existing" >"$WINEPREFIX/drive_c/bench/existing.txt"
guard_pid=$(jobs -p | tail -n 1)
opens() { # [GuardedRun.exe]
    (cd "$program_dir" && hm_wine "$@" 'C:\bench\opener.exe' opens 'C:\bench\existing.txt' 2000 2>/dev/null |
        tr -d '\r' | sed -n 's/^opens: [0-9]* in \([0-9]*\) us$/\1/p')
}
start_guard() {
    hm_wine "C:\\Program Files\\Harrowmere\\Harrowmere.exe" /background >"$HM_RUN_DIR/bench-guard.out" 2>&1 &
    guard_pid=$!
    for i in $(seq 1 50); do grep -q 'CreateFile' "$HM_RUN_DIR/bench-guard.out" 2>/dev/null && break; sleep 0.2; done
    sleep 1
}
stop_guard() {
    kill "$guard_pid" 2>/dev/null
    wait "$guard_pid" 2>/dev/null
}
opens GuardedRun.exe >/dev/null # warm-up
printf '%-6s %12s %12s %16s %8s\n' pair guarded guard-off sensor-guard-off ratio
ratios=()
for pair in 1 2 3 4 5; do
    on=$(opens GuardedRun.exe)
    stop_guard
    off=$(opens)
    idle=$(opens GuardedRun.exe)
    start_guard
    ratio=$(awk -v a="$on" -v b="$off" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }')
    ratios+=("$ratio")
    printf '%-6s %12s %12s %16s %8s\n' "$pair" "$on" "$off" "$idle" "$ratio"
done
printf 'median ratio guarded / guard off: %s (spread %s .. %s)\n' \
    "$(printf '%s\n' "${ratios[@]}" | sort -n | sed -n 3p)" \
    "$(printf '%s\n' "${ratios[@]}" | sort -n | head -n 1)" "$(printf '%s\n' "${ratios[@]}" | sort -n | tail -n 1)"

# Late processes: a program started from outside any guarded process (here
# from the Linux side) opens a protected file every 10 ms from its start;
# the line says how many opens it made before the watcher's sensor refused
# one, and how long that took.
echo
echo "== late processes (started from outside, picked up by the watcher)"
echo "refused" >"$WINEPREFIX/drive_c/bench/late.txt"
mkdir -p "$WINEPREFIX/drive_c/bench/quiet" && mv -f "$WINEPREFIX/drive_c/bench/late.txt" "$WINEPREFIX/drive_c/bench/quiet/late.txt"
for run in 1 2 3 4 5; do
    started=$(date +%s%N)
    line=$(cd "$program_dir" && hm_wine 'C:\bench\opener.exe' poll 'C:\bench\quiet\late.txt' 5000 2>/dev/null | tr -d '\r')
    printf 'run %s: %s (%s ms from the start on the Linux side)\n' "$run" "$line" $((($(date +%s%N) - started) / 1000000))
done
stop_guard

# Real workloads (xcopy, reg import, program starts, an MSI package) with the
# guard off, on, and on while asking about every operation: a prefix of its
# own server, pinned and measured in a cgroup (scripts/bench-workloads.sh).
echo
hm_wine_down
"$HM_ROOT/scripts/bench-workloads.sh" "${HM_BENCH_ROUNDS:-5}"
