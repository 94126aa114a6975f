# The project's Wine environment; sourced by run.sh and test.sh.
#   hm_wine_up    prefix set up (once), display (Xvfb when none), warm wineserver, desktop
#   hm_wine_down  stops our prefix's wineserver and our Xvfb, nothing else
#   hm_wine CMD   runs a Windows program with wine64
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

export WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
# Chinese locale: Wine's ANSI code page becomes 936.
export LOCPATH=$HM_CACHE/locale
unset LC_ALL LC_CTYPE LC_MESSAGES LANGUAGE
export LANG=zh_CN.UTF-8
HM_DESKTOP_SIZE=${HM_DESKTOP_SIZE:-1024x768}
HM_RUN_DIR=$HM_BUILD_ROOT/run
HM_XVFB_PID=

hm_wine() { "$WINELOADER" "$@"; }

hm_prefix_stamp() { cat "$HM_ROOT/scripts/wine-env.sh" | sha256sum | cut -c1-16; }

hm_prefix_setup() {
    local stamp
    stamp=$(hm_prefix_stamp)
    [ -f "$WINEPREFIX/.harrowmere-$stamp" ] && return 0
    hm_log "setting up the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" hm_wine wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
    local reg=$HM_RUN_DIR/prefix.reg face
    mkdir -p "$HM_RUN_DIR"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for face in 新宋体 宋体 SimSun NSimSun 黑体 SimHei 微软雅黑 "Microsoft YaHei" \
                    "MS Shell Dlg" "MS Shell Dlg 2" Tahoma "MS Sans Serif" "Segoe UI" Arial Verdana; do
            printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
        done
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="shell"\r\n'
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"shell"="%s"\r\n' "$HM_DESKTOP_SIZE"
        # No crash dialog: a crashing test must end, not wait for a click.
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n'
    } | iconv -f UTF-8 -t UTF-16 >"$reg"
    hm_wine regedit /S "$(winepath_of "$reg")" >/dev/null 2>&1
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    mkdir -p "$fonts"
    for f in /usr/share/wine/fonts/marlett.ttf /usr/lib/x86_64-linux-gnu/wine/fonts/marlett.ttf; do
        [ -f "$f" ] && cp -f "$f" "$fonts/" && break
    done
    "$WINESERVER" -w
    rm -f "$WINEPREFIX"/.harrowmere-*
    touch "$WINEPREFIX/.harrowmere-$stamp"
}

# Linux path -> Z:\ path as Wine sees it.
winepath_of() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }

hm_display_up() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    mkdir -p "$HM_RUN_DIR"
    exec 9>"$HM_RUN_DIR/xvfb.display"
    Xvfb -displayfd 9 -screen 0 ${HM_DESKTOP_SIZE}x24 -nolisten tcp -ac >"$HM_RUN_DIR/xvfb.log" 2>&1 &
    HM_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
        [ -s "$HM_RUN_DIR/xvfb.display" ] && break
        sleep 0.1
    done
    exec 9>&-
    export DISPLAY=:$(head -n 1 "$HM_RUN_DIR/xvfb.display")
    [ "$DISPLAY" != ":" ] || hm_die "Xvfb did not start (see $HM_RUN_DIR/xvfb.log)"
}

hm_wine_up() {
    # A server left over from an interrupted run may hold a desktop on a
    # display that is gone: start clean (our prefix only).
    "$WINESERVER" -k >/dev/null 2>&1 || true
    hm_prefix_setup
    hm_display_up
    # A persistent server, and wineboot finished, before anything is timed or
    # tested: otherwise Wine's background processes start per program.
    "$WINESERVER" -p
    hm_wine wineboot >/dev/null 2>&1 || true
    # The virtual desktop (taskbar with notification area) up front.
    hm_wine explorer.exe "/desktop=shell,$HM_DESKTOP_SIZE" >/dev/null 2>&1 &
    local i
    for i in $(seq 1 50); do
        xwininfo -root -tree 2>/dev/null | grep -q 'Wine desktop' && break
        sleep 0.2
    done
}

hm_wine_down() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    if [ -n "$HM_XVFB_PID" ]; then
        kill "$HM_XVFB_PID" 2>/dev/null || true
        wait "$HM_XVFB_PID" 2>/dev/null || true
        HM_XVFB_PID=
    fi
}

hm_screenshot() { # file
    mkdir -p "$(dirname "$1")"
    import -window root "$1" 2>/dev/null && hm_log "screenshot: $1"
}
