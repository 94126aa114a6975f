#!/usr/bin/env bash
# Builds the setup program $HM_BUILD_ROOT/<arch>/Harrowmere-Setup.exe from the
# stage of each given architecture (default: both) with makensis:
# a 64-bit setup (amd64-unicode) for x86_64, a 32-bit one (x86-unicode) for
# i686. Fails on any makensis warning.
set -euo pipefail
. "$(dirname "$0")/common.sh"

command -v makensis >/dev/null || hm_die "makensis is missing; run scripts/setup.sh"

# The version the status page shows ("程序版本:V2.0").
version=$(sed -n 's/.*"[^"]*V\([0-9][0-9.]*\)".*IDC_STATUS_VERSION.*/\1/p' "$HM_ROOT/res/Pages.rc" | head -n 1)
[ -n "$version" ] || hm_die "no program version found beside IDC_STATUS_VERSION in res/Pages.rc"
IFS=. read -r v1 v2 v3 v4 <<<"$version"
version_quad=${v1:-0}.${v2:-0}.${v3:-0}.${v4:-0}

# makensis needs $ doubled; a quote or a control character has no safe
# spelling in its strings, so such a name stops the build.
nsis_text() {
    case $1 in *[\"\`]* | *[[:cntrl:]]*) hm_die "cannot package a file named '$1'" ;; esac
    printf '%s' "${1//\$/\$\$}"
}

for arch in ${*:-$HM_ARCHES}; do
    dir=$HM_BUILD_ROOT/$arch
    stage=$dir/stage
    [ -f "$stage/Harrowmere.exe" ] || hm_die "no $arch stage in $stage; run scripts/build.sh $arch"
    work=$dir/installer
    mkdir -p "$work"

    # What the setup installs: the stage with the debug information taken
    # out of the programs (it makes up most of their size and is no use on a
    # user's machine). It is kept beside the build in symbols/, linked from
    # each program, for reading crash dumps.
    files=$work/files
    symbols=$dir/symbols
    rm -rf "$files" "$symbols"
    mkdir -p "$symbols"
    cp -a "$stage" "$files"
    case $arch in i686) triple=i686-w64-mingw32 ;; *) triple=x86_64-w64-mingw32 ;; esac
    while IFS= read -r -d '' program; do
        debug=$symbols/$(basename "$program").debug
        "$triple-objcopy" --only-keep-debug "$program" "$debug" &&
            "$triple-objcopy" --strip-debug --add-gnu-debuglink="$debug" "$program" ||
            hm_die "cannot take the debug information out of $program"
    done < <(find "$files" -type f \( -iname '*.exe' -o -iname '*.sys' \) -print0)
    stage=$files

    # The stage's files, and the removal of files and folders, deepest first.
    install_list=$work/install-files.nsh
    remove_list=$work/remove-files.nsh
    : >"$install_list"
    : >"$remove_list"
    while IFS= read -r -d '' file; do
        rel=${file#"$stage"/}
        sub=$(dirname "$rel")
        [ "$sub" = . ] && sub= || sub=\\${sub//\//\\}
        printf '!insertmacro HM_INSTALL_FILE "%s" "%s" "%s"\n' "$(nsis_text "$sub")" \
            "$(nsis_text "$(basename "$rel")")" "$(nsis_text "$file")" >>"$install_list"
        printf '!insertmacro HM_REMOVE_FILE "%s" "%s"\n' "$(nsis_text "$sub")" \
            "$(nsis_text "$(basename "$rel")")" >>"$remove_list"
    done < <(find "$stage" -type f -print0 | sort -z)
    while IFS= read -r -d '' sub; do
        rel=${sub#"$stage"/}
        printf '!insertmacro HM_REMOVE_DIR "\\%s"\n' "$(nsis_text "${rel//\//\\}")" >>"$remove_list"
    done < <(find "$stage" -mindepth 1 -type d -print0 | sort -rz)

    out=$dir/Harrowmere-Setup.exe
    rm -f "$out"
    hm_log "packaging $arch: $out"
    if ! makensis -V2 -WX -INPUTCHARSET UTF8 \
        "-DHM_ARCH=$arch" "-DHM_VERSION=$version" "-DHM_VERSION_QUAD=$version_quad" \
        "-DHM_ICON=$HM_ROOT/res/icons/Harrowmere.ico" \
        "-DHM_INSTALL_LIST=$install_list" "-DHM_REMOVE_LIST=$remove_list" \
        "-DHM_OUTFILE=$out" "$HM_ROOT/installer/Harrowmere.nsi" >"$work/makensis.log" 2>&1; then
        cat "$work/makensis.log" >&2
        hm_die "makensis failed for $arch (log: $work/makensis.log)"
    fi
done
