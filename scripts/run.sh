#!/usr/bin/env bash
# The main job: builds the guard, sets up the Wine environment, installs the
# build into C:\Program Files\Harrowmere in the project's prefix and starts
# the guard there, with the local update and feed service that the shipped
# Harrowmere.cfg names (an update folder built from this build, and a feed
# with a picture) on 127.0.0.1. Runs until interrupted (Ctrl+C). Without a
# display it runs in Xvfb and saves a screenshot of the desktop. After
# start-up it injects a few sample operations through WatchSim.exe, then has
# real programs (cmd.exe, reg.exe), started guarded through GuardedRun.exe,
# try a protected file, a registry value and a program start, and prints what
# each program saw and the log lines they produced.
#   --once     end after the demonstration (for scripts)
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
. "$(dirname "$0")/http-servers.sh"

once=
for a in "$@"; do
    case $a in
        --once) once=1 ;;
        *) hm_die "usage: scripts/run.sh [--once]" ;;
    esac
done

"$HM_ROOT/scripts/setup.sh" || exit 1
"$HM_ROOT/scripts/build.sh" x86_64 || [ -f "$HM_BUILD_ROOT/x86_64/stage/Harrowmere.exe" ] || exit 1

trap 'hm_http_down; hm_wine_down' EXIT
trap 'exit 130' INT TERM
hm_wine_up

program_dir="$WINEPREFIX/drive_c/Program Files/Harrowmere"
mkdir -p "$program_dir"
cp -f "$HM_BUILD_ROOT/x86_64/stage/"* "$program_dir/"
hm_log "installed into C:\\Program Files\\Harrowmere ($program_dir)"
hm_update_service_up "$(hm_update_service_port)" "$program_dir" || hm_log "going on without the update and feed service"

log=$HM_RUN_DIR/harrowmere.out
hm_wine "C:\\Program Files\\Harrowmere\\Harrowmere.exe" >"$log" 2>&1 &
guard=$!
hm_log "Harrowmere.exe started; its standard output goes to $log"

for i in $(seq 1 50); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Harrowmere 2006"' && break
    sleep 0.2
done
# The feed is fetched one second after the start; its picture and banner
# show once it is in place.
for i in $(seq 1 25); do
    [ -n "$(find "$program_dir/AD" -name '*.gif' -newer "$log" 2>/dev/null)" ] && break
    sleep 0.2
done
sleep 1
hm_screenshot "$HM_BUILD_ROOT/screenshots/run-desktop.png"
cat "$log"

# The demonstration: operations as the driver would intercept them.
watchsim() { ( cd "$program_dir" && hm_wine WatchSim.exe "$@" 2>&1 | tr -d '\r' ); }
log_file="$program_dir/Harrowmere.log"
lines_before=$(cat "$log_file" 2>/dev/null | wc -l)
demo() { # description, WatchSim arguments...
    local what=$1; shift
    printf '%-48s %s\n' "$what" "$(watchsim "$@")"
}
echo
echo "Sample operations (verdict 0 accept, 1 feign success, 2 refuse):"
demo "write the hosts file (refused, logged)" OpenFile 'C:\windows\system32\drivers\etc\hosts' --process setup.exe
demo "create D:\autorun.inf (feigned, logged)" OpenFile 'D:\autorun.inf' --process worm.exe
demo "open a document (no rule: accepted)" OpenFile 'C:\users\docs\report.txt' --process winword.exe
demo "start notepad (accepted, not logged)" Execute 'C:\windows\notepad.exe' --process explorer.exe
# An asking rule: the prompt appears; it is answered with F2 (refuse), or
# refuses by itself when its 30 seconds run out.
prompt_out=$HM_RUN_DIR/prompt.out
watchsim RegSetValue '\REGISTRY\MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' Updater --process dropper.exe >"$prompt_out" &
asker=$!
sleep 3
hm_screenshot "$HM_BUILD_ROOT/screenshots/run-prompt.png"
xdotool key F2 >/dev/null 2>&1 || true
wait $asker
printf '%-48s %s\n' "set a Run key value (asks; answered with F2)" "$(cat "$prompt_out")"

# Real interception: programs started through the guarded launcher run with
# the sensor loaded; what they print is what they saw.
# Console programs write in the prefix's ANSI code page (Chinese: CP936).
guarded() { ( cd "$program_dir" && hm_wine GuardedRun.exe "$@" 2>&1 | tr -d '\r' | iconv -f CP936 -t UTF-8 -c ); }
# Answers the prompt that an asking rule opens with F2 (refuse), after a
# screenshot; the prompt refuses by itself when its 30 seconds run out.
guarded_asked() { # screenshot name, command...
    local shot=$1; shift
    local out=$HM_RUN_DIR/guarded.out
    guarded "$@" >"$out" &
    local runner=$!
    sleep 3
    hm_screenshot "$HM_BUILD_ROOT/screenshots/$shot"
    xdotool key F2 >/dev/null 2>&1 || true
    wait $runner
    cat "$out"
}
echo
echo "Real programs, guarded (each shows what the program itself saw):"
echo "> cmd.exe /c type C:\windows\system32\drivers\etc\hosts   (refused)"
guarded cmd.exe /c 'type C:\windows\system32\drivers\etc\hosts'
rm -f "$WINEPREFIX/drive_c/autorun.inf"
echo "> cmd.exe /c echo [autorun] > C:\autorun.inf   (feigned: cmd sees success, no file appears)"
guarded cmd.exe /c 'echo [autorun] > C:\autorun.inf && echo cmd: written'
[ -e "$WINEPREFIX/drive_c/autorun.inf" ] && echo "C:\autorun.inf exists" || echo "C:\autorun.inf does not exist"
echo "> reg.exe add HKCU\...\CurrentVersion\Run /v Demo   (asks; answered with F2)"
guarded_asked run-prompt-reg.png reg.exe add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Demo /d demo.exe /f
mkdir -p "$WINEPREFIX/drive_c/windows/Temp"
cp -f "$WINEPREFIX/drive_c/windows/system32/hostname.exe" "$WINEPREFIX/drive_c/windows/Temp/demo.exe" 2>/dev/null
echo "> cmd.exe /c C:\windows\Temp\demo.exe   (a program start in Temp asks; answered with F2)"
guarded_asked run-prompt-start.png cmd.exe /c 'C:\windows\Temp\demo.exe & echo cmd: errorlevel %errorlevel%'
echo
echo "New lines of Harrowmere.log:"
tail -n +$((lines_before + 1)) "$log_file" 2>/dev/null | tr -d '\r'
echo
echo "Inject more with: (cd \"$program_dir\" && WINEPREFIX=$WINEPREFIX /usr/lib/wine/wine64 WatchSim.exe OpenFile 'C:\\some\\file')"

if [ -n "$once" ]; then
    exit 0
fi
hm_log "running; press Ctrl+C to stop"
wait $guard
