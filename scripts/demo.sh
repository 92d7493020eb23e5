#!/usr/bin/env bash
# Builds StreamCourier, then plays one host session with it through qxhost: two KeepAlives,
# an unknown command (no answer), a CreateContext and two CreateInputs for user 7 (raw
# pictures and audio), then three seconds of that user's media: 640x360 test pictures at
# 30 fps on channel 3 and a 440 Hz tone in 20 ms blocks on channel 1. "->" lines are sent,
# "<-" lines received; the media lines count the units written and refused.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"

echo
echo "== a session with StreamCourier =="
"$root/build/bin/qxhost" --wait 1000 \
    --video channel=3,user=7,size=640x360,rate=30 \
    --audio channel=1,user=7,rate=50,hz=440 \
    --media-seconds 3 \
    keepalive \
    keepalive \
    '<cmd id="5000" />' \
    '<cmd id="4100" />' \
    '<cmd id="4101"><ContextID val="10001" /><UserID val="7" /><MediaType val="3" /><MediaID val="0" /></cmd>' \
    '<cmd id="4101"><ContextID val="10001" /><UserID val="7" /><MediaType val="1" /><MediaID val="0" /></cmd>'
echo "StreamCourier's log: ${XDG_DOCUMENTS_DIR:-$HOME/Documents}/Wyn/QXDesktop/Log/"
