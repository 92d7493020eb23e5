#!/usr/bin/env bash
# A long run of the product's main job: StreamCourier, driven by qxhost, composes a 1280x720
# 30 fps picture of three inputs (two raw, one H.264) with a tone and pushes it to two local
# nginx servers; server "b" is killed and started again every 10 minutes (every third of the
# run when it lasts under half an hour). Every 10 s it samples the process's memory (RSS),
# CPU (share of one core), threads and descriptors, and the bytes each server received, into
# <build>/soak/samples.csv, and draws them into <build>/soak/soak.png; each restart's
# reconnect time (from the server listening again to the stream publishing on it) goes into
# <build>/soak/restarts.csv.
# It fails (exit 1) when StreamCourier dies, when a stream is not back within 5 s of its
# server's return, or when private memory keeps growing after the warm-up (the mean of the
# last quarter of the samples above that of the first quarter by more than 16 MiB).
#
# Usage: scripts/soak.sh [MINUTES] [--build-dir DIR] [--no-setup]   (MINUTES: 60 by default)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
minutes=60
build="$root/build"
setup=1
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build="$(realpath -m "$2")"; shift 2 ;;
        --no-setup) setup=0; shift ;;
        [1-9]*) minutes="$1"; shift ;;
        *) sed -n '/^# Usage:/p' "$0" >&2; exit 2 ;;
    esac
done

fail() {
    echo "soak: $*" >&2
    exit 1
}

if [ "$setup" = 1 ]; then
    (cd "$root" && bash scripts/setup.sh "$build")
fi
command -v gnuplot > /dev/null || fail "gnuplot is missing (scripts/setup.sh installs it)"
# shellcheck source=scripts/nginx-lib.sh
source "$root/scripts/nginx-lib.sh"

out="$build/soak"
rm -rf "$out"
mkdir -p "$out/a" "$out/b"
seconds=$((minutes * 60))
restart_every=$((minutes >= 30 ? 600 : seconds / 3))
warmup=$((seconds / 6 < 300 ? seconds / 6 : 300))
sample_every=10
ticks_per_second="$(getconf CLK_TCK)"

declare -A rtmp_port stat_port
for name in a b; do
    rtmp_port[$name]="$(nginx_free_port)"
    stat_port[$name]="$(nginx_free_port)"
    nginx_write_conf "$out/$name" "${rtmp_port[$name]}" "" "${stat_port[$name]}"
    nginx_run "$name" "$out/$name" || fail "nginx $name did not start; see $out/$name/error.log"
done

qxhost_pid=""
cleanup() {
    [ -z "$qxhost_pid" ] || kill "$qxhost_pid" 2> /dev/null || true
    nginx_stop_all
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# shellcheck disable=SC2054  # commas separate the keys of one option
"$build/bin/qxhost" --strict --wait 1000 --media-seconds "$((seconds + 10))" \
    --env STREAMCOURIER_LOG_LEVEL=3 \
    --video channel=3,user=7,size=640x360,rate=30 \
    --video channel=3,user=8,size=640x360,rate=30 \
    --h264 channel=2,user=9,size=640x360,rate=30,bitrate=800 \
    --audio channel=1,user=7,rate=50,hz=440 \
    create-context --input user=7,type=3 --input user=8,type=3 --input user=9,type=2 \
    --input user=7,type=1 \
    --output "url=rtmp://127.0.0.1:${rtmp_port[a]}/live/soak,url=rtmp://127.0.0.1:${rtmp_port[b]}/live/soak,canvas=1280x720,rate=30,quality=2,audio=@4" \
    --layout "input=@1,x=0,y=0,size=640x360" --layout "input=@2,x=640,y=0,size=640x360" \
    --layout "input=@3,x=320,y=360,size=640x360" > "$out/qxhost.log" 2>&1 &
qxhost_pid=$!

pid=""
for _ in $(seq 1 100); do
    pid="$(pgrep -P "$qxhost_pid" -x StreamCourier || true)"
    [ -n "$pid" ] && break
    sleep 0.1
done
[ -n "$pid" ] || fail "StreamCourier did not start; see $out/qxhost.log"

# The statistics page of server $1.
stat_page() {
    local fd
    exec {fd}<> "/dev/tcp/127.0.0.1/${stat_port[$1]}" || return 0
    printf 'GET /stat HTTP/1.0\r\n\r\n' >&"$fd"
    cat <&"$fd"
    exec {fd}<&-
}
# 1 when the stream publishes on server $1.
publishing() {
    stat_page "$1" | tr -d '\n' | grep -q "<name>soak</name>.*<publishing/>" && echo 1 || echo 0
}
received() {
    stat_page "$1" | grep -m1 -o '<bytes_in>[0-9]*' | grep -o '[0-9]*$' || echo 0
}

# Kills server b, leaves it down 3 s, starts it again and times the stream's return.
restart_b() {
    nginx_stop b KILL
    sleep 3  # the outage itself
    nginx_run b "$out/b" || fail "nginx b did not start again; see $out/b/error.log"
    local back=$SECONDS start_ns now_ns
    start_ns="$(date +%s%N)"
    while [ "$(publishing b)" = 0 ]; do
        [ $((SECONDS - back)) -le 30 ] || break
        sleep 0.1
    done
    now_ns="$(date +%s%N)"
    local ms=$(((now_ns - start_ns) / 1000000))
    echo "$((SECONDS - began)),$ms" >> "$out/restarts.csv"
    echo "soak: server b back, stream again after $ms ms"
    [ "$ms" -le 5000 ] || fail "the stream to b was not back within 5 s of its server's return"
}

echo "seconds,rss_kib,private_kib,cpu_percent,threads,descriptors,bytes_a,bytes_b,up_a,up_b" \
    > "$out/samples.csv"
echo "seconds,reconnect_ms" > "$out/restarts.csv"
echo "soak: $minutes min, StreamCourier pid $pid, servers a:${rtmp_port[a]} b:${rtmp_port[b]}," \
    "restart of b every $restart_every s; samples in $out/samples.csv"
began=$SECONDS
next_restart=$restart_every
last_ticks=0
last_at=$began
while [ $((SECONDS - began)) -lt "$seconds" ]; do
    sleep "$sample_every"
    [ -d "/proc/$pid" ] || fail "StreamCourier died; see $out/qxhost.log"
    now=$SECONDS
    stat=($(sed 's/.*) //' "/proc/$pid/stat"))
    ticks=$((stat[11] + stat[12]))
    cpu=$(( (ticks - last_ticks) * 100 / ticks_per_second / (now - last_at > 0 ? now - last_at : 1) ))
    last_ticks=$ticks
    last_at=$now
    # Private memory (RssAnon) is what a leak grows; the rest of RSS is mostly the input
    # channels' shared rings, paged in as the host's writes go round them the first time.
    rss="$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")"
    private="$(awk '/RssAnon/ {print $2}' "/proc/$pid/status")"
    threads="$(ls "/proc/$pid/task" | wc -l)"
    fds="$(ls "/proc/$pid/fd" | wc -l)"
    echo "$((now - began)),$rss,$private,$cpu,$threads,$fds,$(received a),$(received b),$(publishing a),$(publishing b)" \
        >> "$out/samples.csv"
    if [ $((now - began)) -ge "$next_restart" ] && [ $((now - began + 30)) -lt "$seconds" ]; then
        restart_b
        next_restart=$((next_restart + restart_every))
    fi
done

gnuplot <<GNUPLOT
set terminal png size 1200,900 noenhanced
set output "$out/soak.png"
set yrange [0:*]
set datafile separator ","
set key autotitle columnhead
set multiplot layout 2,2 title "StreamCourier soak: $minutes min, server b restarted every $restart_every s"
set xlabel "seconds"
set title "memory (KiB)"; plot "$out/samples.csv" using 1:2 with lines, "" using 1:3 with lines
set title "CPU (% of one core)"; plot "$out/samples.csv" using 1:4 with lines notitle
set title "threads and descriptors"; plot "$out/samples.csv" using 1:5 with lines, "" using 1:6 with lines
set title "bytes received by each server"; plot "$out/samples.csv" using 1:7 with lines, "" using 1:8 with lines
unset multiplot
GNUPLOT

# Private memory after the warm-up: the last quarter's mean against the first quarter's.
verdict="$(awk -F, -v warm="$warmup" 'NR > 1 && $1 >= warm { rss[n++] = $3 }
    END {
        q = int(n / 4); if (q < 1) { print "few"; exit }
        for (i = 0; i < q; i++) { first += rss[i]; last += rss[n - 1 - i] }
        first /= q; last /= q
        printf "%d %d %d\n", first, last, last - first }' "$out/samples.csv")"
echo "soak: private memory after warm-up, first and last quarter means, growth (KiB): $verdict"
read -r first last growth <<< "$verdict"
[ "$first" = few ] || [ "$growth" -le 16384 ] || fail "memory keeps growing: $verdict"
wait "$qxhost_pid" || fail "the session did not end cleanly; see $out/qxhost.log"
qxhost_pid=""
echo "soak: passed; figures drawn in $out/soak.png"
