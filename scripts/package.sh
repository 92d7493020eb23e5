#!/usr/bin/env bash
# Builds the Debian package of StreamCourier (CPack's DEB generator) into the build folder and
# prints its path. Installs what it needs and builds first (scripts/setup.sh). The package puts
# StreamCourier, qxhost, libZivizar32.so and Resource/ into /opt/streamcourier/bin/ and the
# README into /opt/streamcourier/share/doc/streamcourier/; its Depends come from the shared
# libraries the binaries link (dpkg-shlibdeps). Install it with
#   sudo apt install ./build/streamcourier_<version>_<arch>.deb
#
# Usage: scripts/package.sh [--build-dir DIR] [--no-setup]
#   --build-dir  the build folder (default build)
#   --no-setup   use the build as it is: no package install, no build
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
setup=1

usage() {
    sed -n '/^# Usage:/,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) [ $# -ge 2 ] || usage; build="$(realpath -m "$2")"; shift 2 ;;
        --no-setup) setup=0; shift ;;
        *) usage ;;
    esac
done

fail() {
    echo "package: $*" >&2
    exit 1
}

if [ "$setup" = 1 ]; then
    (cd "$root" && bash scripts/setup.sh "$build")
fi
config="$build/CPackConfig.cmake"
[ -f "$config" ] || fail "no $config: configure first (scripts/setup.sh), on a system with dpkg"
name="$(sed -n 's/^set(CPACK_DEBIAN_FILE_NAME "\(.*\)")$/\1/p' "$config")"
[ -n "$name" ] || fail "$config names no Debian package"
rm -f "$build/$name"
(cd "$build" && cpack -G DEB --config "$config" > "$build/package.log" 2>&1) \
    || { cat "$build/package.log" >&2; fail "cpack failed (log above, in $build/package.log)"; }
[ -s "$build/$name" ] || fail "cpack made no $build/$name; see $build/package.log"
echo "$build/$name"
