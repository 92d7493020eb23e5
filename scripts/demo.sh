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
# With --record, the demo records the screen instead: on the X display in DISPLAY, or on a
# virtual one (Xvfb) it starts, with a moving test picture (ffplay) at the top left, it asks
# StreamCourier to record that 640x360 region with a 440 Hz tone that qxhost writes into the
# recording ring, for the chosen time, and leaves
#   <build>/demo/recording.mp4   the recording        (ffplay <build>/demo/recording.mp4)
#   <build>/demo/recording.png   a picture from its middle
#
# Usage: scripts/demo.sh [--url rtmp://HOST[:PORT]/APP/KEY | --url 'srt://HOST:PORT?OPTIONS'
#                         | --record] [--seconds N] [--build-dir DIR] [--no-setup]
#   --url        push to your own server instead: no local nginx, no files. An SRT URL names a
#                listener (caller mode) and may carry latency (ms), streamid, passphrase and
#                pbkeylen, percent-encoded (a comma as %2C); to watch, start a listener first:
#                ffplay 'srt://:9000?mode=listener', then --url 'srt://127.0.0.1:9000?latency=120'
#   --record     record the screen with sound into a file instead of pushing
#   --seconds    how long the media runs (default 10)
#   --build-dir  the build folder (default build)
#   --no-setup   use the build as it is: no package install, no build
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
url=""
seconds=10
build="$root/build"
setup=1
record=0
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
        --record) record=1; shift ;;
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
# shellcheck source=scripts/nginx-lib.sh
source "$root/scripts/nginx-lib.sh"
demo="$build/demo"
trap nginx_stop_all EXIT
trap 'exit 130' INT TERM

start_nginx() {
    rm -rf "$demo"
    mkdir -p "$demo"
    local port
    for _ in 1 2 3 4 5; do
        port="$(nginx_free_port)"
        nginx_write_conf "$demo" "$port" \
            "record all; record_path \"$demo\"; record_suffix .flv; record_unique off;"
        if nginx_run demo "$demo"; then
            rtmp_port="$port"
            return 0
        fi
        grep -q "Address already in use" "$demo/error.log" 2> /dev/null \
            || fail "nginx did not start; see $demo/error.log:
$(tail -n 5 "$demo/error.log" 2> /dev/null)"
    done
    fail "found no free port for nginx"
}

# --- the recording mode ----------------------------------------------------------------------
helper_pids=()
stop_helpers() {
    for pid in "${helper_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    helper_pids=()
}

# Starts Xvfb on the first free display from :90 and waits (at most 10 s) until it accepts
# clients: with -displayfd it writes its display number once it is ready.
start_xvfb() {
    local fifo="$demo/xvfb.fifo" number=""
    rm -f "$fifo"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3> "$fifo" 2> "$demo/xvfb.log" &
    helper_pids+=($!)
    read -r -t 10 number < "$fifo" || fail "Xvfb did not start; see $demo/xvfb.log"
    rm -f "$fifo"
    export DISPLAY=":$number"
}

record_screen() {
    trap 'stop_helpers; nginx_stop_all' EXIT
    rm -rf "$demo"
    mkdir -p "$demo"
    if [ -z "${DISPLAY:-}" ]; then
        start_xvfb
        echo "== a virtual screen (Xvfb) on $DISPLAY =="
    fi
    ffplay -loglevel error -noborder -left 0 -top 0 -f lavfi \
        -i "testsrc2=size=640x360:rate=30" -an > "$demo/ffplay.log" 2>&1 &
    helper_pids+=($!)
    local file="$demo/recording.mp4"
    echo "== recording 640x360 of $DISPLAY with a 440 Hz tone for $seconds s into $file =="
    # shellcheck disable=SC2054  # commas separate the keys of one option
    "$qxhost" --strict --wait 1000 --media-seconds "$seconds" --ring hz=440 \
        --record "path=$file,region=0:0:640x360,fps=30,mp4=1" \
        --after-media record-time record-stop \
        || fail "the recording failed (qxhost's message above says why)"
    stop_helpers
    [ -s "$file" ] || fail "no recording in $file"
    ffmpeg -v error -y -ss "$((seconds / 2))" -i "$file" -frames:v 1 "$demo/recording.png" \
        || fail "no picture could be decoded from $file"
    echo
    echo "== what ffprobe finds in $file =="
    ffprobe -hide_banner "$file" 2>&1 | grep -E "Duration|Stream #"
    echo "== a picture from its middle: $demo/recording.png =="
    echo "   play it:  ffplay $file"
    exit 0
}
[ "$record" = 0 ] || record_screen

# --- the session ----------------------------------------------------------------------------
if [ -z "$url" ]; then
    start_nginx
    url="rtmp://127.0.0.1:$rtmp_port/live/demo"
    echo "== nginx with the RTMP module on 127.0.0.1:$rtmp_port (pid ${NGINX_PID[demo]}), in $demo =="
fi
echo "== a session with StreamCourier, pushing to $url for $seconds s =="
case "$url" in
    srt://*) echo "   (StreamCourier calls the SRT listener there; it retries every 2 s until one answers)" ;;
    *) echo "   watch it live meanwhile:  ffplay $url" ;;
esac
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
nginx_stop demo  # closes the recording
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
