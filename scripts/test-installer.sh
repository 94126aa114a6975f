#!/usr/bin/env bash
# The installer scenarios (InstallerTest in the end-to-end tests) against
# build/x86_64/Harrowmere-Setup.exe (scripts/package.sh), in a fresh Wine
# prefix of their own: build/x86_64/installer-prefix, copied from a booted
# prefix kept beside it that no program has touched (booting one takes
# longer than the scenarios). Its wineserver and display are stopped at the
# end; the project's own prefix is never used.
#   --screenshots  afterwards, go through the setup and uninstall pages by
#                  keyboard and save them as build/screenshots/installer-*.png
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"

screenshots=
for a in "$@"; do
    case $a in
        --screenshots) screenshots=1 ;;
        *) hm_die "usage: scripts/test-installer.sh [--screenshots]" ;;
    esac
done

arch=x86_64
setup_exe=$HM_BUILD_ROOT/$arch/Harrowmere-Setup.exe
tests_exe=$HM_BUILD_ROOT/$arch/tests/hm_e2e_tests.exe
[ -f "$setup_exe" ] || hm_die "$setup_exe is missing; run scripts/package.sh"
[ -f "$tests_exe" ] || hm_die "$tests_exe is missing; run scripts/build.sh"

# Shortcuts the setup program makes must not become menu entries of this
# Linux machine.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
HM_RUN_DIR=$HM_BUILD_ROOT/$arch/installer-run
started=$(date +%s%N)

export WINEPREFIX=$HM_BUILD_ROOT/$arch/installer-prefix.base
if [ ! -f "$WINEPREFIX/.harrowmere-$(hm_prefix_stamp)" ]; then
    rm -rf "$WINEPREFIX"
    hm_prefix_setup
fi
export WINEPREFIX=$HM_BUILD_ROOT/$arch/installer-prefix
"$WINESERVER" -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
cp -a "$HM_BUILD_ROOT/$arch/installer-prefix.base" "$WINEPREFIX"

trap hm_wine_down EXIT
hm_wine_up
HM_INSTALLER_TEST=1 hm_wine "$tests_exe" --gtest_filter='InstallerTest.*' 2>&1 | tr -d '\r'
status=${PIPESTATUS[0]}
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
hm_log "installer scenarios: $((elapsed_ms / 1000)).$((elapsed_ms % 1000 / 100)) s, prefix included"

if [ -n "$screenshots" ]; then
    shots=$HM_BUILD_ROOT/screenshots
    shot() { sleep 2; hm_screenshot "$shots/installer-$1.png"; }
    key() { xdotool key "$1" >/dev/null 2>&1; }
    hm_wine "$setup_exe" >/dev/null 2>&1 &
    shot 1-welcome; key Return
    shot 2-folder; key Return
    shot 3-components; key Return
    shot 4-finish; key Return # starts the guard
    sleep 3
    hm_wine "C:\\Program Files\\Harrowmere\\Uninstall.exe" >/dev/null 2>&1
    shot 5-uninstall-options; key Return
    shot 6-uninstall-finish; key Return
    sleep 1
fi
exit "$status"
