#!/usr/bin/env bash
# Builds StreamCourier, then plays one host session with it through qxhost: two KeepAlives,
# an unknown command (no answer) and a CreateContext. "->" lines are sent, "<-" lines received.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"

echo
echo "== a session with StreamCourier =="
"$root/build/bin/qxhost" --wait 2000 \
    keepalive \
    keepalive \
    '<cmd id="5000" />' \
    '<cmd id="4100" />'
echo "StreamCourier's log: ${XDG_DOCUMENTS_DIR:-$HOME/Documents}/Wyn/QXDesktop/Log/"
