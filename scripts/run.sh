#!/usr/bin/env bash
# The main job: builds the guard, sets up the Wine environment, installs the
# build into C:\Program Files\Harrowmere in the project's prefix and starts
# the guard there. Runs until interrupted (Ctrl+C). Without a display it runs
# in Xvfb and saves a screenshot of the desktop.
#   --once     end after start-up and the screenshot (for scripts)
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"

once=
for a in "$@"; do
    case $a in
        --once) once=1 ;;
        *) hm_die "usage: scripts/run.sh [--once]" ;;
    esac
done

"$HM_ROOT/scripts/setup.sh" || exit 1
"$HM_ROOT/scripts/build.sh" x86_64 || [ -f "$HM_BUILD_ROOT/x86_64/stage/Harrowmere.exe" ] || exit 1

trap 'hm_wine_down' EXIT
trap 'exit 130' INT TERM
hm_wine_up

program_dir="$WINEPREFIX/drive_c/Program Files/Harrowmere"
mkdir -p "$program_dir"
cp -f "$HM_BUILD_ROOT/x86_64/stage/"* "$program_dir/"
hm_log "installed into C:\\Program Files\\Harrowmere ($program_dir)"

log=$HM_RUN_DIR/harrowmere.out
hm_wine "C:\\Program Files\\Harrowmere\\Harrowmere.exe" >"$log" 2>&1 &
guard=$!
hm_log "Harrowmere.exe started; its standard output goes to $log"

for i in $(seq 1 50); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Harrowmere 2006"' && break
    sleep 0.2
done
sleep 1
shot=$HM_BUILD_ROOT/screenshots/run-desktop.png
hm_screenshot "$shot"

if [ -n "$once" ]; then
    exit 0
fi
hm_log "running; press Ctrl+C to stop"
wait $guard
