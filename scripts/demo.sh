#!/usr/bin/env bash
# The StreamCourier demo. Installs what it needs and builds (scripts/setup.sh), starts a local
# nginx with the RTMP module, and plays a meeting client's session through qxhost: a context,
# four inputs (test pictures of users 7 and 8, H.264 pictures of user 9, a 440 Hz tone of
# user 7), and a SetOutParam that composes the three pictures on a 1280x720 canvas at 30 fps
# (two side by side above, the H.264 one below, each with a border on a blue background),
# mixes the tone and pushes the result to rtmp://127.0.0.1:<port>/live/demo. The media runs
# for about ten seconds. nginx records what reaches it; the demo leaves
#   <build>/demo/stream.flv   the pushed stream     (ffplay <build>/demo/stream.flv)
#   <build>/demo/canvas.png   one canvas from the middle
# and prints what ffprobe finds in the stream. While it runs, `ffplay <the URL it prints>`
# shows the stream live. The demo fails (exit 1) with a message when StreamCourier does not
# answer a command with success, or when no stream reached nginx.
#
# Usage: scripts/demo.sh [--url rtmp://HOST[:PORT]/APP/KEY] [--seconds N] [--build-dir DIR]
#                        [--no-setup]
#   --url        push to your own server instead: no local nginx, no files
#   --seconds    how long the media runs (default 10)
#   --build-dir  the build folder (default build)
#   --no-setup   use the build as it is: no package install, no build
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
url=""
seconds=10
build="$root/build"
setup=1
rtmp_port=""  # set when the demo runs its own nginx

usage() {
    sed -n '/^# Usage:/,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}
while [ $# -gt 0 ]; do
    case "$1" in
        --url) [ $# -ge 2 ] || usage; url="$2"; shift 2 ;;
        --seconds) [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || usage; seconds="$2"; shift 2 ;;
        --build-dir) [ $# -ge 2 ] || usage; build="$(realpath -m "$2")"; shift 2 ;;
        --no-setup) setup=0; shift ;;
        *) usage ;;
    esac
done

fail() {
    echo "demo: $*" >&2
    exit 1
}

if [ "$setup" = 1 ]; then
    (cd "$root" && bash scripts/setup.sh "$build")
fi
qxhost="$build/bin/qxhost"
[ -x "$qxhost" ] && [ -x "$build/bin/StreamCourier" ] \
    || fail "no qxhost and StreamCourier in $build/bin; build first (scripts/setup.sh)"

# --- the local RTMP server -------------------------------------------------------------------
demo="$build/demo"
nginx_pid=""
drain_pid=""

stop_nginx() {
    if [ -n "$nginx_pid" ]; then
        kill -TERM "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
        nginx_pid=""
    fi
    if [ -n "$drain_pid" ]; then
        wait "$drain_pid" 2>/dev/null || true
        drain_pid=""
    fi
}
trap stop_nginx EXIT
trap 'exit 130' INT TERM

write_nginx_conf() {
    cat > "$demo/nginx.conf" <<EOF
load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;
daemon off; master_process off; worker_processes 1;
error_log "$demo/error.log" info;
error_log stderr notice;
pid "$demo/nginx.pid";
events { worker_connections 256; }
rtmp {
    server {
        listen 127.0.0.1:$1;
        application live {
            live on;
            record all;
            record_path "$demo";
            record_suffix .flv;
            record_unique off;
        }
    }
}
EOF
}

# Starts nginx on 127.0.0.1:$1 and waits (at most 10 s) until it listens: nginx prints its
# version notice on standard error once its listening sockets are open. Returns 1 when nginx
# ended instead (the port was taken, say).
try_nginx() {
    local port="$1" fifo="$demo/nginx.fifo" line="" ready=0 fd
    write_nginx_conf "$port"
    rm -f "$fifo"
    mkfifo "$fifo"
    nginx -p "$demo" -e "$demo/error.log" -c "$demo/nginx.conf" 2> "$fifo" &
    nginx_pid=$!
    exec {fd}< "$fifo"
    rm -f "$fifo"
    local deadline=$((SECONDS + 10))
    while [ "$SECONDS" -lt "$deadline" ] \
        && IFS= read -r -t "$((deadline - SECONDS))" -u "$fd" line; do
        echo "$line" >> "$demo/nginx.stderr"
        if [[ "$line" == *"nginx/"* ]]; then
            ready=1
            break
        fi
    done
    if [ "$ready" = 1 ]; then
        cat <&"$fd" >> "$demo/nginx.stderr" &  # keeps nginx's standard error flowing
        drain_pid=$!
        exec {fd}<&-
        return 0
    fi
    exec {fd}<&-
    stop_nginx
    return 1
}

start_nginx() {
    command -v nginx > /dev/null && [ -f /usr/lib/nginx/modules/ngx_rtmp_module.so ] \
        || fail "nginx with the RTMP module is missing (scripts/setup.sh installs it)"
    rm -rf "$demo"
    mkdir -p "$demo"
    local port
    for _ in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 40000))
        if (exec 3<> "/dev/tcp/127.0.0.1/$port") 2> /dev/null; then
            continue  # something listens there already
        fi
        if try_nginx "$port"; then
            rtmp_port="$port"
            return 0
        fi
        grep -q "Address already in use" "$demo/error.log" 2> /dev/null \
            || fail "nginx did not start; see $demo/error.log:
$(tail -n 5 "$demo/error.log" 2> /dev/null)"
    done
    fail "found no free port for nginx"
}

# --- the session ----------------------------------------------------------------------------
if [ -z "$url" ]; then
    start_nginx
    url="rtmp://127.0.0.1:$rtmp_port/live/demo"
    echo "== nginx with the RTMP module on 127.0.0.1:$rtmp_port (pid $nginx_pid), in $demo =="
fi
echo "== a session with StreamCourier, pushing to $url for $seconds s =="
echo "   watch it live meanwhile:  ffplay $url"
background=16:32:96
# shellcheck disable=SC2054  # commas separate the keys of one option
session=(
    --strict --wait 1000 --media-seconds "$seconds"
    --video channel=3,user=7,size=640x360,rate=30
    --video channel=3,user=8,size=640x360,rate=30
    --h264 channel=2,user=9,size=480x360,rate=30,bitrate=800
    --audio channel=1,user=7,rate=50,hz=440
    create-context
    --input user=7,type=3 # @1: the inputs' handles as StreamCourier answers them
    --input user=8,type=3 # @2
    --input user=9,type=2 # @3
    --input user=7,type=1 # @4
    --output "url=$url,canvas=1280x720,rate=30,quality=2,audio=@4"
    --layout "input=@1,x=0,y=0,size=640x360,crop=2,border=4,bordercolor=255:255:255,background=$background"
    --layout "input=@2,x=640,y=0,size=640x360,crop=2,border=4,bordercolor=255:192:0,background=$background"
    --layout "input=@3,x=320,y=360,size=640x360,crop=3,border=4,bordercolor=0:192:255,background=$background"
)
log_folder="${XDG_DOCUMENTS_DIR:-$HOME/Documents}/Wyn/QXDesktop/Log/"
set +e
"$qxhost" "${session[@]}"
status=$?
set -e
if [ "$status" -ne 0 ]; then
    fail "the session failed (qxhost exit $status; its message above says why), so nothing was
      pushed. A StreamCourier without the output side never answers SetOutParam (4359).
      StreamCourier's log: $log_folder"
fi
if [ -z "$rtmp_port" ]; then
    echo "== done: the stream went to $url =="
    exit 0
fi

# --- what reached nginx ---------------------------------------------------------------------
stop_nginx  # closes the recording
recorded="$demo/demo.flv"
[ -s "$recorded" ] || fail "no stream reached nginx (nothing recorded in $demo).
      StreamCourier's log: $log_folder; nginx's: $demo/error.log"
mv "$recorded" "$demo/stream.flv"
streams="$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$demo/stream.flv")" \
    || fail "ffprobe cannot read $demo/stream.flv"
grep -qx video <<< "$streams" || fail "the stream in $demo/stream.flv has no video"
middle=$((seconds / 2))
ffmpeg -v error -y -ss "$middle" -i "$demo/stream.flv" -frames:v 1 "$demo/canvas.png" \
    && [ -s "$demo/canvas.png" ] || fail "no canvas could be decoded at $middle s of the stream"
echo
echo "== what ffprobe finds in $demo/stream.flv =="
ffprobe -hide_banner "$demo/stream.flv" 2>&1 | grep -E "Duration|Stream #"
echo "== the canvas at $middle s: $demo/canvas.png =="
echo "   play the recording:  ffplay $demo/stream.flv"
