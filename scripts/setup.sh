#!/usr/bin/env bash
# Installs the Debian packages the build needs (only when missing), then configures and builds
# everything into build/.
# Usage: scripts/setup.sh [build-dir [extra cmake args...]]
#        scripts/setup.sh --packages-only   (the package install alone)
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake pkg-config clang clang-format
  libtinyxml-dev librtmp-dev libavcodec-dev libavutil-dev libswresample-dev
  libyuv-dev libx264-dev libgtest-dev libgmock-dev libbenchmark-dev
  libavformat-dev libavdevice-dev libx11-dev libgnutls28-dev libsrt-gnutls-dev
  nginx-light libnginx-mod-rtmp libnginx-mod-stream ffmpeg openssl ca-certificates xvfb x11-utils lldb-14
  gnuplot-nox procps iproute2 dpkg-dev file srt-tools libclang-rt-14-dev
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[ "${1:-}" != "--packages-only" ] || exit 0

BUILD_DIR="${1:-build}"
shift || true
mkdir -p "$BUILD_DIR"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$BUILD_DIR/configure.log" 2>&1 \
  || { cat "$BUILD_DIR/configure.log"; exit 1; }
cmake --build "$BUILD_DIR" -j"$(nproc)"
