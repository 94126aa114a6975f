# The local HTTP services of the update and feed work; sourced by run.sh and
# test.sh after wine-env.sh. Everything listens on 127.0.0.1 only; each
# function starts or stops only its own process.
#   hm_update_service_up PORT [PROGRAM_DIR]
#                              builds the update folder and feed from the stage
#                              and serves them (the address the shipped
#                              Harrowmere.cfg names), signed with the build
#                              folder's throwaway key; the development copies
#                              of the two programs (build/x86_64/dev), which
#                              trust that key, replace the staged ones in the
#                              update and, when given, in PROGRAM_DIR
#   hm_test_servers_up         the test servers (static, slow, error, silent) on
#                              free ports, published as HM_HTTP_* variables
#   hm_http_down               stops whichever of the two was started

HM_UPDATE_SERVICE_PID=
HM_TEST_SERVERS_PID=

# The port of an address in the shipped settings file (element Update).
hm_update_service_port() {
    sed -n 's/.*<Update Url="http:\/\/127\.0\.0\.1:\([0-9]*\)\/.*/\1/p' "$HM_ROOT/res/Harrowmere.cfg" | head -n 1
}

hm_update_service_up() { # port [program folder]
    local port=$1 installed=${2:-} dir=$HM_RUN_DIR/update-service build=$HM_BUILD_ROOT/x86_64
    rm -rf "$dir"; mkdir -p "$dir/program"
    [ -f "$build/keys/dev.key" ] && [ -f "$build/dev/Harrowmere.exe" ] \
        || { hm_log "no throwaway key or development programs in $build; build with scripts/build.sh"; return 1; }
    cp -a "$build/stage/." "$dir/program/" && cp -f "$build/dev/"*.exe "$dir/program/" || return 1
    if [ -n "$installed" ]; then
        cp -f "$build/dev/"*.exe "$installed/" || return 1
    fi
    python3 "$HM_ROOT/scripts/update-service.py" "$dir/program" "$dir/served" "http://127.0.0.1:$port" \
        "$build/keys/dev.key" || { hm_log "could not build the update folder"; return 1; }
    python3 -m http.server --bind 127.0.0.1 --directory "$dir/served" "$port" >"$HM_RUN_DIR/update-service.log" 2>&1 &
    HM_UPDATE_SERVICE_PID=$!
    local i
    for i in $(seq 1 50); do
        python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null && {
            hm_log "update and feed service on http://127.0.0.1:$port/ (folder $dir/served)"; return 0; }
        kill -0 "$HM_UPDATE_SERVICE_PID" 2>/dev/null || break
        sleep 0.1
    done
    hm_log "the update service did not start on port $port (see $HM_RUN_DIR/update-service.log)"
    return 1
}

hm_test_servers_up() {
    local root=$HM_RUN_DIR/http-root ports=$HM_RUN_DIR/http-ports
    rm -rf "$root" "$ports"; mkdir -p "$root"
    python3 "$HM_ROOT/scripts/http-test-servers.py" "$root" "$ports" &
    HM_TEST_SERVERS_PID=$!
    local i
    for i in $(seq 1 100); do
        [ -s "$ports" ] && break
        sleep 0.1
    done
    [ -s "$ports" ] || { hm_log "the test HTTP servers did not start"; return 1; }
    export HM_HTTP_ROOT
    HM_HTTP_ROOT=$(winepath_of "$root")
    local name port
    while IFS== read -r name port; do
        export "HM_HTTP_$(echo "$name" | tr a-z A-Z)_PORT=$port"
    done <"$ports"
}

hm_http_down() {
    local pid
    for pid in $HM_UPDATE_SERVICE_PID $HM_TEST_SERVERS_PID; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    HM_UPDATE_SERVICE_PID=
    HM_TEST_SERVERS_PID=
}
