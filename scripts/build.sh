#!/usr/bin/env bash
# Builds the given architectures (default: both) into $HM_BUILD_ROOT/<arch>.
# The x86_64 build registers its tests with CTest to run under wine64; the
# i686 build compiles and links only (32-bit programs cannot run here).
# Fails when the compiler reports a warning in the project's own code. The
# packages' folders are named on every run: CMake would keep the ones it found
# first, also after the dependency cache moved to a new key.
set -euo pipefail
. "$(dirname "$0")/common.sh"

deps=$("$HM_ROOT/scripts/build-deps.sh")
tinyxml=$(find "$HM_CACHE/src" -maxdepth 1 -mindepth 1 -type d -name 'tinyxml-*' | sort | tail -n 1)
[ -n "$tinyxml" ] || hm_die "TinyXML sources missing; run scripts/setup.sh"

status=0
for arch in ${*:-$HM_ARCHES}; do
    dir=$HM_BUILD_ROOT/$arch
    run_tests=OFF
    [ "$arch" = x86_64 ] && run_tests=ON
    cmake -S "$HM_ROOT" -B "$dir" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$HM_ROOT/cmake/toolchain-$arch.cmake" \
        -DHM_DEPS_PREFIX="$deps/$arch" -DHM_TINYXML_DIR="$tinyxml" \
        -DCURL_DIR="$deps/$arch/lib/cmake/CURL" -DGTest_DIR="$deps/$arch/lib/cmake/GTest" \
        -DHM_RUN_TESTS=$run_tests -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 >/dev/null
    hm_log "building $arch"
    log=$dir/build.log
    if ! cmake --build "$dir" >"$log" 2>&1; then
        grep -E 'error:|FAILED' "$log" | head -n 60 >&2 || tail -n 60 "$log" >&2
        hm_die "the $arch build failed (full log: $log)"
    fi
    if grep -q 'warning:' "$log"; then
        grep -B2 -A4 'warning:' "$log" | head -n 80 >&2
        hm_log "the $arch build has warnings (full log: $log)"
        status=1
    fi
done
exit $status
