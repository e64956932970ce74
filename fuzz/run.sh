#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each one for the
# given number of seconds (default 30), starting from its seed corpus in fuzz/seeds/.
# Usage: fuzz/run.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"${VELMORA_JOBS:-2}" >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
status=0
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  mkdir -p "$corpus" "build-fuzz/artifacts/$t"
  seeds="fuzz/seeds/${t%_fuzz}"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  echo "== $t (${seconds}s)"
  if ! ASAN_OPTIONS=detect_leaks=1 "build-fuzz/$t" "$corpus" -max_total_time="$seconds" \
       -rss_limit_mb=2048 -timeout=10 -max_len=65536 \
       -artifact_prefix="build-fuzz/artifacts/$t/" -print_final_stats=1 2>"build-fuzz/$t.log"; then
    echo "FAILED: $t (see build-fuzz/$t.log and build-fuzz/artifacts/$t/)"
    tail -40 "build-fuzz/$t.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "build-fuzz/$t.log" || true
  fi
done
exit $status
