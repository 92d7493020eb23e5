#!/usr/bin/env bash
# Fails at once, before any build, when a C++ file is not formatted per .clang-format
# (scripts/format.sh --check). Then builds and runs every test through ctest, then runs them
# again under AddressSanitizer (with UndefinedBehaviorSanitizer) and under ThreadSanitizer: clang
# builds in build-asan/ and build-tsan/, which also refuse any broken lock annotation
# (-Werror=thread-safety). Between them, a 3-minute soak (scripts/soak.sh) of the plain build.
# Usage: scripts/test.sh [--quick]   (--quick: the plain build only)
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS="$(nproc)"
scripts/setup.sh --packages-only  # clang-format among them
scripts/format.sh --check
scripts/setup.sh build
(cd build && ctest -j"$JOBS" --output-on-failure)

if [ "${1:-}" = "--quick" ]; then
  exit 0
fi

echo "== a 3-minute soak of the composed stream (scripts/soak.sh) =="
scripts/soak.sh 3 --no-setup

for sanitizer in address thread; do
  dir="build-${sanitizer:0:1}san"
  CC=clang CXX=clang++ scripts/setup.sh "$dir" -DSC_SANITIZE="$sanitizer" -DCMAKE_BUILD_TYPE=Debug
  echo "== tests under ${sanitizer} sanitizer =="
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
     UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
     TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions="$PWD/../tests/tsan.supp" \
     ctest -j"$JOBS" --output-on-failure)
done

# The fuzz targets (libFuzzer, clang, ASan and UBSan in build-fuzz/): each runs for 30 s, and a
# finding fails the run; then each goes once over its corpus, the findings of earlier runs
# included.
echo "== fuzz targets =="
scripts/fuzz.sh 30
(cd build-fuzz && ctest -L fuzz --output-on-failure)
