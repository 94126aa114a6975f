# Shared settings of the project's scripts; sourced, never run.
# HM_CACHE      dependency cache outside the repository (sources, built libraries, locale)
# HM_BUILD_ROOT where the two architectures are built (build/x86_64, build/i686)
# WINEPREFIX    the project's own Wine prefix
HM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
HM_CACHE=${HM_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/harrowmere}
HM_BUILD_ROOT=${HM_BUILD_ROOT:-$HM_ROOT/build}
export WINEPREFIX=${WINEPREFIX:-$HM_ROOT/.wine}
HM_ARCHES=${HM_ARCHES:-x86_64 i686} # HM_ARCHES=x86_64 builds one while iterating

# Debian source package versions the build is pinned to.
HM_TINYXML_VERSION=2.6.2-6+deb12u1
HM_CURL_VERSION=7.88.1-10+deb12u15
HM_SODIUM_VERSION=1.0.18-1+deb12u1

hm_log() { printf '[harrowmere] %s\n' "$*" >&2; }
hm_die() { printf '[harrowmere] error: %s\n' "$*" >&2; exit 1; }
