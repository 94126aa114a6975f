#!/usr/bin/env bash
# What guarding costs real Windows tools under Wine: four workloads run with
# the guard off, with the guard on (the sensor decides in the program what no
# rule can match), and with the guard on while the sensor asks the driver
# about every operation (HM_SENSOR_ASK_EVERY=1, for this comparison only).
# The guard holds 1,000 rules of the rule benchmarks' mix, none of which the
# workloads touch:
#   xcopy   copies a tree of 2,000 small files
#   reg     imports 2,000 registry values (reg import)
#   starts  cmd.exe starts a small program 100 times
#   msi     msiexec /qn installs and removes a package of 500 files and 200
#           registry values, built here with wixl
# Every column starts its workload through the same small launcher
# (bench_launch.exe), which loads the sensor in the guarded columns, so that
# the columns differ in the sensor only. Measured as the architecture notes
# advise: the whole prefix pinned to one
# core (taskset) and inside one cgroup whose CPU time (cpuacct.usage) is read
# before and after each run; rounds of the three columns interleaved (their
# order reversed every other round) after a warm-up round; per workload the
# median ratio against the guard off over the rounds, its spread, the
# median wall time beside, and how many operations the sensors asked the
# driver about (its count, read from the state page between runs).
#   scripts/bench-workloads.sh [rounds]   (default 5)
# Called by scripts/bench.sh; runs on its own too (it builds what is missing).
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
rounds=${1:-5}
core=${HM_BENCH_CORE:-1}

command -v wixl >/dev/null || "$HM_ROOT/scripts/setup.sh" || exit 1
stage=$HM_BUILD_ROOT/x86_64/stage
[ -f "$stage/Harrowmere.exe" ] || "$HM_ROOT/scripts/build.sh" x86_64 || exit 1

cg=/sys/fs/cgroup/cpuacct/harrowmere-bench-$$
mkdir -p "$cg" || hm_die "cannot make the cgroup $cg"
guard_pid=
cleanup() {
    [ -n "$guard_pid" ] && kill "$guard_pid" 2>/dev/null
    hm_wine_down
    # Whatever is left of the prefix ends with its server; then the group goes.
    for i in $(seq 1 50); do [ -s "$cg/tasks" ] || break; sleep 0.1; done
    rmdir "$cg" 2>/dev/null || true
}
trap cleanup EXIT
# Runs a command inside the group, pinned to the core.
in_group() { (echo $BASHPID >"$cg/tasks" && exec taskset -c "$core" "$@"); }
hm_wine() { in_group "$WINELOADER" "$@"; }

# The server and every Wine process start inside the group: the server
# through a wrapper that Wine's loader also uses when it starts one.
mkdir -p "$HM_RUN_DIR"
server=$HM_RUN_DIR/bench-wineserver.sh
printf '#!/bin/sh\necho $$ >"%s/tasks" && exec taskset -c %s %s "$@"\n' "$cg" "$core" "$WINESERVER" >"$server"
chmod +x "$server"
export WINESERVER=$server
hm_wine_up

# ---- the program folder, with the mix's 1,000 rules --------------------------
program_dir="$WINEPREFIX/drive_c/Program Files/Harrowmere"
mkdir -p "$program_dir"
cp -f "$stage/"* "$program_dir/"
(cd "$HM_BUILD_ROOT/x86_64/bench" &&
    hm_wine bench_workload_rules.exe 'C:\Program Files\Harrowmere\Harrowmere.erd' 1000 | tr -d '\r') || exit 1

# ---- the workloads' material ---------------------------------------------------
bench_dir=$WINEPREFIX/drive_c/hmbench
rm -rf "$bench_dir"
mkdir -p "$bench_dir/src"
for d in $(seq 0 19); do
    mkdir -p "$bench_dir/src/dir$d"
    for f in $(seq 0 99); do
        printf 'small file %s of folder %s\r\n' "$f" "$d" >"$bench_dir/src/dir$d/file$f.txt"
    done
done
{
    printf 'Windows Registry Editor Version 5.00\r\n'
    for k in $(seq 0 19); do
        printf '\r\n[HKEY_CURRENT_USER\\Software\\HmBenchImport\\group%s]\r\n' "$k"
        for v in $(seq 0 99); do
            printf '"value%s"="imported text %s"\r\n' "$v" "$v"
        done
    done
} | iconv -f UTF-8 -t UTF-16 >"$bench_dir/values.reg"
cp -f "$HM_BUILD_ROOT/x86_64/tests/hm_intercept_helper.exe" "$bench_dir/small.exe"
cp -f "$HM_BUILD_ROOT/x86_64/bench/bench_launch.exe" "$bench_dir/launch.exe"
cp -f "$HM_BUILD_ROOT/x86_64/bench/bench_state.exe" "$bench_dir/state.exe"
printf '@echo off\r\nfor /L %%%%i in (1,1,100) do C:\\hmbench\\small.exe\r\n' >"$bench_dir/starts.cmd"
python3 - "$bench_dir/msi" <<'PY' || exit 1
import os, sys, uuid
root = sys.argv[1]
os.makedirs(os.path.join(root, "files"), exist_ok=True)
ns = uuid.UUID("6b1f3c52-4f7e-4d8e-9a51-3f1d2b7c0a11")
guid = lambda s: str(uuid.uuid5(ns, s)).upper()
out = ['<?xml version="1.0" encoding="utf-8"?>',
       '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
       f' <Product Id="{guid("product")}" Name="HmBenchPackage" Language="1033" Version="1.0.0"'
       f' Manufacturer="Harrowmere bench" UpgradeCode="{guid("upgrade")}">',
       '  <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>',
       '  <Media Id="1" Cabinet="bench.cab" EmbedCab="yes"/>',
       '  <Directory Id="TARGETDIR" Name="SourceDir"><Directory Id="ProgramFilesFolder">'
       '<Directory Id="INSTALLDIR" Name="HmBenchPackage">']
refs = []
for d in range(10):
    out.append(f'   <Directory Id="dir{d}" Name="part{d}">')
    for f in range(50):
        name = f"files/p{d}_f{f}.txt"
        with open(os.path.join(root, name), "w") as fh:
            fh.write(f"file {f} of part {d}\r\n" * 4)
        out.append(f'    <Component Id="c{d}_{f}" Guid="{guid(name)}">'
                   f'<File Id="f{d}_{f}" Name="file{f}.txt" Source="{name}" KeyPath="yes"/></Component>')
        refs.append(f"c{d}_{f}")
    out.append("   </Directory>")
out.append(f'   <Component Id="values" Guid="{guid("values")}">')
for v in range(200):
    key = ' KeyPath="yes"' if v == 0 else ""
    out.append(f'    <RegistryValue Root="HKLM" Key="Software\\HmBenchPackage\\group{v // 20}" Name="value{v}"'
               f' Type="string" Value="setting {v}"{key}/>')
out.append("   </Component>")
refs.append("values")
out.append("  </Directory></Directory></Directory>")
out.append('  <Feature Id="Main" Level="1">' + "".join(f'<ComponentRef Id="{r}"/>' for r in refs) + "</Feature>")
out.append(" </Product>\n</Wix>")
with open(os.path.join(root, "bench.wxs"), "w") as fh:
    fh.write("\n".join(out) + "\n")
PY
(cd "$bench_dir/msi" && wixl -o ../bench.msi bench.wxs) || hm_die "wixl could not build the package"

# ---- runs -----------------------------------------------------------------------
# Each workload: a preparation outside the measurement, then its commands.
prepare() { # workload
    case $1 in
    xcopy) rm -rf "$bench_dir/dst" ;;
    reg) "$WINELOADER" reg delete 'HKCU\Software\HmBenchImport' /f >/dev/null 2>&1 ;;
    esac
}
commands() { # workload -> one Windows command line per line
    case $1 in
    xcopy) echo 'xcopy.exe C:\hmbench\src C:\hmbench\dst\ /E /I /Q /Y' ;;
    reg) echo 'reg.exe import C:\hmbench\values.reg' ;;
    starts) echo 'cmd.exe /c C:\hmbench\starts.cmd' ;;
    msi) echo 'msiexec.exe /i C:\hmbench\bench.msi /qn'; echo 'msiexec.exe /x C:\hmbench\bench.msi /qn' ;;
    esac
}
# The driver's count of operations the sensors asked about (outside the
# group: not measured), and whether it matches with rules now.
state() { "$WINELOADER" 'C:\hmbench\state.exe' 2>/dev/null | tr -d '\r'; }
asked() {
    local n
    n=$(state | sed -n 's/.* injected \([0-9]*\).*/\1/p')
    echo "${n:-0}"
}
# Runs one workload in one column; prints "<cpu ms> <wall ms> <asked>".
run() { # workload column(off|local|ask)
    local w=$1 column=$2 line cpu0 cpu1 t0 t1 sensor=-
    prepare "$w"
    # The same launcher in every column; guarded, it loads the sensor, which
    # follows the start into the workload's program.
    [ "$column" = off ] || sensor='C:\Program Files\Harrowmere\HarrowmereSensor64.dll'
    local launcher=('C:\hmbench\launch.exe' "$sensor")
    local ask=
    [ "$column" = ask ] && ask=1
    local asked0
    asked0=$(asked)
    cpu0=$(cat "$cg/cpuacct.usage")
    t0=$(date +%s%N)
    while IFS= read -r line; do
        # shellcheck disable=SC2086
        HM_SENSOR_ASK_EVERY=$ask hm_wine "${launcher[@]}" $line >/dev/null 2>&1 </dev/null
    done < <(commands "$w")
    t1=$(date +%s%N)
    cpu1=$(cat "$cg/cpuacct.usage")
    echo "$(((cpu1 - cpu0) / 1000000)) $(((t1 - t0) / 1000000)) $(($(asked) - asked0))"
}
guard_on() {
    [ -n "$guard_pid" ] && return
    hm_wine 'C:\Program Files\Harrowmere\Harrowmere.exe' /background >"$HM_RUN_DIR/bench-workload-guard.out" 2>&1 &
    guard_pid=$!
    # Until the driver matches with the guard's rules.
    for i in $(seq 1 150); do state | grep -q ' matching 1 ' && break; sleep 0.2; done
    state | grep -q ' matching 1 ' || hm_die "the guard did not start monitoring: $(state)"
    sleep 1
}
guard_off() {
    [ -n "$guard_pid" ] || return
    kill "$guard_pid" 2>/dev/null
    wait "$guard_pid" 2>/dev/null
    guard_pid=
    sleep 1
}
column() { # column -> brings the guard into that state
    if [ "$1" = off ]; then guard_off; else guard_on; fi
}

workloads=(xcopy reg starts msi)
declare -A cpu wall sent
echo "== real workloads: guard off, guard on (in-process decision), guard on asking about every operation"
echo "   1,000 rules of the mix, none touched; pinned to core $core; CPU time of the prefix (cgroup), $rounds rounds"
for r in $(seq 0 "$rounds"); do
    order=(off local ask)
    [ $((r % 2)) -eq 1 ] && order=(ask local off)
    for c in "${order[@]}"; do
        column "$c"
        for w in "${workloads[@]}"; do
            result=$(run "$w" "$c")
            # Round 0 warms every workload up in every column and is not counted.
            [ "$r" -eq 0 ] && continue
            read -r "cpu[$w,$c,$r]" "wall[$w,$c,$r]" "sent[$w,$c,$r]" <<<"$result"
        done
    done
    [ "$r" -gt 0 ] && printf '   round %s done\n' "$r"
done
guard_off

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '\n%-8s %10s %22s %22s %30s %18s\n' workload "guard off" "guard on (in-process)" "guard on (ask every)" \
    "wall ms: off / in-process / ask" "asked: in-process / ask"
for w in "${workloads[@]}"; do
    cells=()
    for c in local ask; do
        ratios=$(for r in $(seq 1 "$rounds"); do
            awk -v a="${cpu[$w,$c,$r]}" -v b="${cpu[$w,off,$r]}" 'BEGIN { if (b > 0) printf "%.3f\n", a / b }'
        done)
        m=$(echo "$ratios" | median)
        lo=$(echo "$ratios" | sort -n | head -n 1)
        hi=$(echo "$ratios" | sort -n | tail -n 1)
        cells+=("$(printf '%.2fx (%.2f-%.2f)' "$m" "$lo" "$hi")")
    done
    walls=()
    for c in off local ask; do
        walls+=("$(for r in $(seq 1 "$rounds"); do echo "${wall[$w,$c,$r]}"; done | median)")
    done
    offcpu=$(for r in $(seq 1 "$rounds"); do echo "${cpu[$w,off,$r]}"; done | median)
    asks=()
    for c in local ask; do
        asks+=("$(for r in $(seq 1 "$rounds"); do echo "${sent[$w,$c,$r]}"; done | median)")
    done
    printf '%-8s %10s %22s %22s %30s %18s\n' "$w" "1.00x" "${cells[0]}" "${cells[1]}" \
        "${walls[0]} / ${walls[1]} / ${walls[2]}" "${asks[0]} / ${asks[1]}"
    printf '%-8s %10s\n' "" "(${offcpu} ms)"
done
echo "goal: guard on with the in-process decision at most 1.05x the guard off (CPU time, median ratio)"
