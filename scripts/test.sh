#!/usr/bin/env bash
# Fails at once, before any build, when a C++ file is not formatted per .clang-format
# (scripts/format.sh --check). Then builds and runs every test through ctest, then runs them
# again under AddressSanitizer (with UndefinedBehaviorSanitizer) and under ThreadSanitizer: clang
# builds at -O1 in build-asan/ and build-tsan/, without the benchmarks, which also refuse any
# broken lock annotation (-Werror=thread-safety). The AddressSanitizer build also carries the
# libFuzzer targets: each runs for 30 s, two at a time (scripts/fuzz.sh), and a finding fails the
# run; then each goes once over its corpus, the findings of earlier runs included. Between the
# plain tests and the sanitizer builds, a 2-minute soak (scripts/soak.sh) of the plain build
# restarts one server twice. At the end, how long each phase took.
# Usage: scripts/test.sh [--quick]   (--quick: the plain build only)
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS="$(nproc)"
# Tests that mostly wait (for a server, a process, a time-out) run this many at once; those
# whose measures need the machine to themselves hold the resource lock "timing".
WAITING_JOBS=$((JOBS * 2))

phases=()
phase_began=0
begin() {
  echo "== $1 =="
  phase_name="$1"
  phase_began=$SECONDS
}
end() {
  phases+=("$(printf '%-44s %4d s' "$phase_name" $((SECONDS - phase_began)))")
}
report() {
  echo
  echo "== phases =="
  printf '%s\n' "${phases[@]}"
  echo "total $SECONDS s"
}
trap report EXIT

# ctest in `dir`: the CPU-bound unit tests as wide as the cores, the rest wider.
run_tests() {
  local dir="$1"
  (cd "$dir" && ctest -L unit -j"$JOBS" --output-on-failure &&
    ctest -LE 'unit|fuzz' -j"$WAITING_JOBS" --output-on-failure)
}

begin "packages, format check"
scripts/setup.sh --packages-only  # clang-format among them
scripts/format.sh --check
end

begin "plain build"
scripts/setup.sh build
end
begin "plain tests"
run_tests build
end

if [ "${1:-}" = "--quick" ]; then
  exit 0
fi

begin "soak, 2 minutes (scripts/soak.sh)"
scripts/soak.sh 2 --no-setup
end

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
for sanitizer in address thread; do
  dir="build-${sanitizer:0:1}san"
  extra=()
  [ "$sanitizer" = thread ] || extra=(-DSC_FUZZ=ON)
  begin "$sanitizer sanitizer build"
  CC=clang CXX=clang++ scripts/setup.sh "$dir" -DSC_SANITIZE="$sanitizer" -DSC_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug "${extra[@]}"
  end
  begin "tests under the $sanitizer sanitizer"
  run_tests "$dir"
  end
done

begin "fuzz targets, 30 s each (scripts/fuzz.sh)"
FUZZ_BUILD_DIR=build-asan scripts/fuzz.sh 30
end
begin "fuzz corpora"
(cd build-asan && ctest -L fuzz --output-on-failure)
end
