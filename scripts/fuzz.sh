#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, ASan and UBSan) and runs each for the given
# number of seconds on a copy of its seed corpus, two at a time: tests/fuzz/corpus/<target>/ is
# copied to <build>/corpus/<target>/, which keeps what the runs add out of the repository.
# The build is build-fuzz/ (configured here with SC_FUZZ=ON) unless FUZZ_BUILD_DIR names one
# configured with SC_FUZZ=ON already (scripts/test.sh's AddressSanitizer build).
# An input that crashes a target (or leaks, or hangs it) is saved under libFuzzer's name
# (crash-<sha1>, ...) in tests/fuzz/corpus/<target>/, where every later run starts from it, and
# the script exits with 1 once all targets ran. For each target it prints the executions per
# second and the coverage (libFuzzer's final statistics and last "cov:" line); the whole log is
# in <build>/logs/<target>.log.
# Usage: [FUZZ_BUILD_DIR=DIR] scripts/fuzz.sh [seconds per target (default 600)] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET="${1:-600}"
shift || true
BUILD="${FUZZ_BUILD_DIR:-build-fuzz}"

# libFuzzer's runtime is in clang's compiler-rt package, which a clang installed without its
# recommendations lacks.
if ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed"
then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    libclang-rt-14-dev
fi

if [ -z "${FUZZ_BUILD_DIR:-}" ]; then
  mkdir -p "$BUILD"
  cmake -S . -B "$BUILD" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSC_FUZZ=ON \
    -DSC_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$BUILD/configure.log" 2>&1 \
    || { cat "$BUILD/configure.log"; exit 1; }
fi
cmake --build "$BUILD" --target fuzz_targets -j"$(nproc)"
# Every target built, unless some are named.
TARGETS=()
for binary in "$BUILD"/fuzz/fuzz_*; do
  [ -x "$binary" ] && TARGETS+=("${binary##*/fuzz_}")
done
if [ $# -gt 0 ]; then
  TARGETS=("$@")
fi

# The targets name their shared-memory objects after their process (tests/fakes/ChannelPort.h);
# a run that crashed leaves them behind.
remove_shared_objects() {
  local offset
  for offset in $(seq 90 99); do
    rm -f /dev/shm/*"$((100000 + $1 * 100 + offset))"*
  done
}

export ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}"
mkdir -p "$BUILD/logs"
# Runs one target for its time and reports it; its summary goes to <build>/logs/<target>.summary
# and the word "failed" to <build>/logs/<target>.failed when it found something.
run_target() {
  local target="$1"
  local seeds="tests/fuzz/corpus/$target"
  local corpus="$BUILD/corpus/$target"
  local artifacts="$BUILD/artifacts/$target"
  local log="$BUILD/logs/$target.log"
  local summary="$BUILD/logs/$target.summary"
  mkdir -p "$corpus" "$artifacts"
  cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  rm -f "$artifacts"/* "$BUILD/logs/$target.failed"
  local rc=0
  "$BUILD/fuzz/fuzz_$target" -max_total_time="$SECONDS_PER_TARGET" -print_final_stats=1 \
    -timeout=120 -artifact_prefix="$artifacts/" "$corpus" > "$log" 2>&1 &
  local pid=$!
  wait "$pid" || rc=$?
  remove_shared_objects "$pid"
  local execs rate cov features corpus_size
  execs="$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')"
  rate="$(grep -m1 'stat::average_exec_per_sec' "$log" | awk '{print $2}')"
  cov="$(grep -E '^#[0-9]+' "$log" | grep -o 'cov: [0-9]*' | tail -1 | awk '{print $2}')"
  features="$(grep -E '^#[0-9]+' "$log" | grep -o 'ft: [0-9]*' | tail -1 | awk '{print $2}')"
  corpus_size="$(find "$corpus" -type f | wc -l)"
  {
    echo "== fuzz_$target for ${SECONDS_PER_TARGET} s =="
    echo "   executions ${execs:-?}, exec/s ${rate:-?}, cov ${cov:-?}, ft ${features:-?}," \
         "corpus ${corpus_size}"
    local found=("$artifacts"/*)
    if [ "$rc" -ne 0 ] || [ -e "${found[0]}" ]; then
      echo failed > "$BUILD/logs/$target.failed"
      for input in "${found[@]}"; do
        [ -e "$input" ] || continue
        cp "$input" "$seeds/"
        echo "   finding kept as $seeds/$(basename "$input")"
      done
      echo "   fuzz_$target failed (exit $rc); the end of $log:"
      tail -n 40 "$log" | sed 's/^/   | /'
    fi
  } > "$summary"
}

failed=()
for ((i = 0; i < ${#TARGETS[@]}; i += 2)); do
  pair=("${TARGETS[@]:i:2}")
  for target in "${pair[@]}"; do
    run_target "$target" &
  done
  wait
  for target in "${pair[@]}"; do
    cat "$BUILD/logs/$target.summary"
    [ ! -e "$BUILD/logs/$target.failed" ] || failed+=("$target")
  done
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets with findings: ${failed[*]}"
  exit 1
fi
echo "fuzz targets: no findings"
