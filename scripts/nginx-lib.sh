# nginx with the RTMP module for the scripts (demo, soak): sourced, not run. Each server has a
# name and a folder of its own (configuration, logs, recordings); its pid is NGINX_PID[name].
# The caller defines fail() (prints its arguments and exits non-zero).

declare -gA NGINX_PID=() NGINX_DRAIN=()

# nginx_write_conf FOLDER PORT [APP_LINES] [STAT_PORT]: application "live" on 127.0.0.1:PORT,
# with APP_LINES inside it; with STAT_PORT, the module's statistics at
# http://127.0.0.1:STAT_PORT/stat.
nginx_write_conf() {
    local folder="$1" port="$2" app="${3:-}" stat="${4:-}"
    {
        echo "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;"
        echo "daemon off; master_process off; worker_processes 1;"
        echo "error_log \"$folder/error.log\" info;"
        echo "error_log stderr notice;"
        echo "pid \"$folder/nginx.pid\";"
        echo "events { worker_connections 256; }"
        echo "rtmp { server { listen 127.0.0.1:$port; application live { live on; $app } } }"
        if [ -n "$stat" ]; then
            echo "http { access_log off; server { listen 127.0.0.1:$stat;"
            echo "    location /stat { rtmp_stat all; } } }"
        fi
    } > "$folder/nginx.conf"
}

# nginx_free_port: a loopback port nobody listens on now.
nginx_free_port() {
    local port
    for _ in $(seq 1 50); do
        port=$((20000 + RANDOM % 40000))
        if ! (exec 3<> "/dev/tcp/127.0.0.1/$port") 2> /dev/null; then
            echo "$port"
            return 0
        fi
    done
    fail "found no free port"
}

# nginx_run NAME FOLDER: starts nginx on FOLDER/nginx.conf and waits (at most 10 s) until it
# listens: nginx prints its version notice on standard error once its sockets are open.
# Returns 1 when nginx ended instead (a port was taken, say).
nginx_run() {
    local name="$1" folder="$2" fifo="$2/nginx.fifo" line="" ready=0 fd
    command -v nginx > /dev/null && [ -f /usr/lib/nginx/modules/ngx_rtmp_module.so ] \
        || fail "nginx with the RTMP module is missing (scripts/setup.sh installs it)"
    rm -f "$fifo"
    mkfifo "$fifo"
    nginx -p "$folder" -e "$folder/error.log" -c "$folder/nginx.conf" 2> "$fifo" &
    NGINX_PID[$name]=$!
    exec {fd}< "$fifo"
    rm -f "$fifo"
    local deadline=$((SECONDS + 10))
    while [ "$SECONDS" -lt "$deadline" ] \
        && IFS= read -r -t "$((deadline - SECONDS))" -u "$fd" line; do
        echo "$line" >> "$folder/nginx.stderr"
        if [[ "$line" == *"nginx/"* ]]; then
            ready=1
            break
        fi
    done
    if [ "$ready" = 1 ]; then
        cat <&"$fd" >> "$folder/nginx.stderr" &  # keeps nginx's standard error flowing
        NGINX_DRAIN[$name]=$!
        exec {fd}<&-
        return 0
    fi
    exec {fd}<&-
    nginx_stop "$name"
    return 1
}

# nginx_stop NAME [SIGNAL]: ends the server (TERM by default; KILL is a crash) and waits.
nginx_stop() {
    local name="$1" signal="${2:-TERM}"
    if [ -n "${NGINX_PID[$name]:-}" ]; then
        kill -"$signal" "${NGINX_PID[$name]}" 2> /dev/null || true
        wait "${NGINX_PID[$name]}" 2> /dev/null || true
        NGINX_PID[$name]=""
    fi
    if [ -n "${NGINX_DRAIN[$name]:-}" ]; then
        wait "${NGINX_DRAIN[$name]}" 2> /dev/null || true
        NGINX_DRAIN[$name]=""
    fi
}

nginx_stop_all() {
    local name
    for name in "${!NGINX_PID[@]}"; do
        nginx_stop "$name"
    done
}
