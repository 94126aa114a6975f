#!/usr/bin/env bash
# The test command: installs what is missing, builds both architectures
# (i686: compile and link only), then runs every x86_64 test under wine64
# through CTest in the project's prefix and virtual desktop. Arguments go to
# ctest (for example -R RuleFile). Without arguments (the whole suite, as CI
# runs it) each fuzz target also runs for a few seconds natively, so that the
# harness stays buildable and the corpus, crash inputs included, is replayed.
# Exits non-zero on any failure or warning.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
. "$(dirname "$0")/http-servers.sh"

"$HM_ROOT/scripts/setup.sh" || exit 1
"$HM_ROOT/scripts/build.sh"
build_status=$?
[ -d "$HM_BUILD_ROOT/x86_64/stage" ] && [ -f "$HM_BUILD_ROOT/x86_64/stage/Harrowmere.exe" ] || exit 1
"$HM_ROOT/scripts/package.sh" || build_status=1
# The setup program's scenarios, in a Wine prefix of their own (whole runs only).
installer_status=0
[ $# -eq 0 ] && { "$HM_ROOT/scripts/test-installer.sh" || installer_status=1; }

trap 'hm_http_down; hm_wine_down' EXIT
hm_wine_up
# The update and feed tests' HTTP servers (127.0.0.1, free ports, HM_HTTP_*).
hm_test_servers_up || exit 1
export HM_SCREENSHOT_DIR=$HM_BUILD_ROOT/screenshots
ctest --test-dir "$HM_BUILD_ROOT/x86_64" --output-on-failure --timeout 300 "$@"
test_status=$?
[ $installer_status -eq 0 ] || { hm_log "the installer scenarios failed (above)"; exit 1; }
if [ $# -eq 0 ]; then
    "$HM_ROOT/scripts/fuzz.sh" --time "${HM_FUZZ_SECONDS:-5}" || test_status=1
fi
if [ $build_status -ne 0 ]; then
    hm_log "build warnings or errors above: failing"
    exit 1
fi
exit $test_status
