#!/usr/bin/env bash
# Cross-builds libcurl (static, HTTP only, Schannel), libsodium (static,
# minimal) and GoogleTest for both architectures into the dependency cache. The install folder is keyed by the
# pinned versions and this script's contents, so a change rebuilds and an
# unchanged tree reuses the cache.
set -euo pipefail
. "$(dirname "$0")/common.sh"

src_dir() { # package -> unpacked source folder in the cache
    local d
    d=$(find "$HM_CACHE/src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | sort | tail -n 1)
    [ -n "$d" ] || hm_die "sources of $1 missing; run scripts/setup.sh"
    echo "$d"
}

deps_key() {
    { echo "$HM_TINYXML_VERSION $HM_CURL_VERSION $HM_SODIUM_VERSION"
      dpkg-query -W -f='${Version}\n' googletest g++-mingw-w64-x86-64-posix 2>/dev/null
      cat "$0" "$HM_ROOT"/cmake/toolchain-*.cmake; } | sha256sum | cut -c1-16
}

key=$(deps_key)
HM_DEPS=$HM_CACHE/deps/$key
echo "$HM_DEPS"
# One marker per architecture: a build of one architecture while iterating
# (HM_ARCHES=x86_64) must not pass for both.
complete() { for arch in $HM_ARCHES; do [ -f "$HM_DEPS/.complete-$arch" ] || return 1; done; }
complete && exit 0

# One builder at a time; a second caller waits and then finds the cache.
mkdir -p "$HM_CACHE"
exec 8>"$HM_CACHE/.deps.lock"
flock 8
complete && exit 0

# The platform floor of each architecture (as in CMakeLists.txt): libcurl
# compiled for a later Windows imports what the floor lacks (SRW locks,
# inet_pton, BCryptGenRandom). libsodium's random source is RtlGenRandom
# (advapi32's SystemFunction036, present on the floor); verification draws
# no randomness at all.
floor_winnt() { case $1 in i686) echo 0x0501 ;; *) echo 0x0600 ;; esac; }

curl_src=$(src_dir curl)
sodium_src=$(src_dir libsodium)
work=$HM_CACHE/work-$key
rm -rf "$work"; mkdir -p "$work"
for arch in $HM_ARCHES; do
    prefix=$HM_DEPS/$arch
    [ -f "$HM_DEPS/.complete-$arch" ] && continue
    rm -rf "$prefix"
    hm_log "building libcurl for $arch"
    cmake -S "$curl_src" -B "$work/curl-$arch" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$HM_ROOT/cmake/toolchain-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_C_FLAGS="-D_WIN32_WINNT=$(floor_winnt "$arch")" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
        -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF \
        -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF \
        -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
        -DCURL_USE_LIBPSL=OFF -DCURL_USE_GSSAPI=OFF -DENABLE_UNIX_SOCKETS=OFF \
        -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DENABLE_MANUAL=OFF \
        -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none >"$work/curl-$arch.log" 2>&1 \
        || { tail -n 30 "$work/curl-$arch.log"; hm_die "libcurl configure failed ($arch)"; }
    cmake --build "$work/curl-$arch" >>"$work/curl-$arch.log" 2>&1 \
        && cmake --install "$work/curl-$arch" >>"$work/curl-$arch.log" 2>&1 \
        || { tail -n 30 "$work/curl-$arch.log"; hm_die "libcurl build failed ($arch)"; }

    hm_log "building GoogleTest for $arch"
    cmake -S /usr/src/googletest -B "$work/gtest-$arch" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$HM_ROOT/cmake/toolchain-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF >"$work/gtest-$arch.log" 2>&1 \
        && cmake --build "$work/gtest-$arch" >>"$work/gtest-$arch.log" 2>&1 \
        && cmake --install "$work/gtest-$arch" >>"$work/gtest-$arch.log" 2>&1 \
        || { tail -n 30 "$work/gtest-$arch.log"; hm_die "GoogleTest build failed ($arch)"; }

    # Debian's source package has no generated configure script: generate it
    # in a copy (without fetching newer config scripts from the network).
    hm_log "building libsodium for $arch"
    cp -a "$sodium_src" "$work/sodium-$arch"
    ( cd "$work/sodium-$arch" \
      && DO_NOT_UPDATE_CONFIG_SCRIPTS=1 ./autogen.sh \
      && ./configure --host="$arch-w64-mingw32" CC="$arch-w64-mingw32-gcc-posix" \
             CFLAGS="-O2 -D_WIN32_WINNT=$(floor_winnt "$arch")" --prefix="$prefix" \
             --disable-shared --enable-static --enable-minimal --disable-ssp --disable-pie \
      && make -j2 && make install ) >"$work/sodium-$arch.log" 2>&1 \
        || { tail -n 30 "$work/sodium-$arch.log"; hm_die "libsodium build failed ($arch)"; }
    touch "$HM_DEPS/.complete-$arch"
done
rm -rf "$work"
