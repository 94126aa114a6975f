#!/usr/bin/env bash
# Runs the benchmarks under wine64 and prints their tables: rule file, image
# and matching costs, log append rate, process manager refresh and finder
# costs with 100 extra processes, the rule editor with 10 and 10,000 rules
# (open, select, delete, save, filter), and the request round trip through the
# installed guard and driver beside a bare two-process event ping-pong,
# measured interleaved (bench_road).
#   scripts/bench.sh [rounds]     (round trips per row, default 1000)
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
rounds=${1:-1000}

"$HM_ROOT/scripts/setup.sh" || exit 1
"$HM_ROOT/scripts/build.sh" x86_64 || [ -f "$HM_BUILD_ROOT/x86_64/stage/Harrowmere.exe" ] || exit 1
trap hm_wine_down EXIT
hm_wine_up
bench=$HM_BUILD_ROOT/x86_64/bench

for b in "$bench"/bench_rules.exe "$bench"/bench_log.exe "$bench"/bench_sysview.exe "$bench"/bench_editor.exe; do
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
