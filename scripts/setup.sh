#!/usr/bin/env bash
# Installs everything the build and the tests need; idempotent and quick once
# done. Debian packages, the deb-src entry, the pinned TinyXML, curl and
# libsodium sources, the cross-built dependencies and the zh_CN locale.
set -euo pipefail
. "$(dirname "$0")/common.sh"

PACKAGES="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
gcc-mingw-w64-i686-posix mingw-w64-tools wine64 xvfb xauth x11-utils xdotool cmake ninja-build
googletest python3 dpkg-dev fonts-wqy-microhei fonts-wine imagemagick locales ca-certificates nsis
clang libclang-rt-14-dev unicode-data wixl
minisign libsodium-dev autoconf automake libtool"

SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo
SRC_LIST=/etc/apt/sources.list.d/harrowmere-src.sources

missing=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' $PACKAGES 2>/dev/null \
          | awk '$2 != "installed" {print $1}' || true)
for p in $PACKAGES; do dpkg-query -W "$p" >/dev/null 2>&1 || missing="$missing $p"; done
need_update=
if [ ! -f "$SRC_LIST" ]; then
    hm_log "adding the deb-src entry"
    $SUDO tee "$SRC_LIST" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    need_update=1
fi
missing=$(echo $missing | tr ' ' '\n' | sort -u | tr '\n' ' ')
if [ -n "${missing// /}" ] || [ -n "$need_update" ]; then
    hm_log "installing packages: $missing"
    $SUDO apt-get update -q
    [ -n "${missing// /}" ] && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi

# Pinned sources; a version the mirror no longer carries falls back to the
# newest one it has (security updates replace old revisions).
fetch_source() { # package version
    local pkg=$1 ver=$2 dir=$HM_CACHE/src
    mkdir -p "$dir"
    [ -f "$dir/.$pkg.done" ] && return 0
    hm_log "fetching the source of $pkg $ver"
    ( cd "$dir" && rm -rf "$pkg"-[0-9]* && { apt-get source -q "$pkg=$ver" >/dev/null 2>&1 \
        || { $SUDO apt-get update -q >/dev/null; apt-get source -q "$pkg=$ver" >/dev/null 2>&1; } \
        || { hm_log "$pkg $ver is gone from the mirror; taking the current version"; apt-get source -q "$pkg" >/dev/null; }; } )
    touch "$dir/.$pkg.done"
}
fetch_source tinyxml "$HM_TINYXML_VERSION"
fetch_source curl "$HM_CURL_VERSION"
fetch_source libsodium "$HM_SODIUM_VERSION"

"$HM_ROOT/scripts/build-deps.sh" >/dev/null

# The zh_CN.UTF-8 locale, so that Wine's ANSI code page is 936.
if [ ! -d "$HM_CACHE/locale/zh_CN.UTF-8" ]; then
    hm_log "generating the zh_CN.UTF-8 locale"
    mkdir -p "$HM_CACHE/locale"
    localedef -i zh_CN -f UTF-8 "$HM_CACHE/locale/zh_CN.UTF-8" || [ -d "$HM_CACHE/locale/zh_CN.UTF-8" ]
fi
