#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build-fuzz/ and runs
# each one for the given number of seconds (default 30), starting from its seed corpus
# in fuzz/seeds/<name>/.  The growing corpus stays in build-fuzz/corpus/<target>/, so a
# later run goes on from there; inputs that fail land in build-fuzz/artifacts/<target>/.
# Usage: fuzz/run.sh [seconds] [target...]   (targets named like gpx_reader_fuzz)
# Exits non-zero when a target finds a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF >/dev/null
cmake --build "$build" -j"${VELMORA_JOBS:-2}" >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus" "$build/artifacts/$t"
  seeds="fuzz/seeds/${t%_fuzz}"
  if [ -d "$seeds" ]; then cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true; fi
  echo "== $t (${seconds}s)"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
       "$build/fuzz/$t" "$corpus" -max_total_time="$seconds" \
       -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10 -max_len=65536 \
       -artifact_prefix="$build/artifacts/$t/" -print_final_stats=1 2>"$build/$t.log"; then
    echo "FAILED: $t (see $build/$t.log and $build/artifacts/$t/)"
    tail -40 "$build/$t.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$t.log" || true
  fi
done
exit $status
