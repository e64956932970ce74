#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build-fuzz/ and runs
# each one: first every input of its corpus (the seeds of fuzz/seeds/<name>/ and what
# earlier runs kept), then fuzzing for the given number of seconds (default 5; longer
# runs through `fuzz/run.sh 300`, say).  The growing corpus stays in
# build-fuzz/corpus/<target>/, so a later run goes on from there; inputs that fail land
# in build-fuzz/artifacts/<target>/.
# Usage: fuzz/run.sh [seconds] [target...]   (targets named like gpx_reader_fuzz)
# Targets run two at a time (VELMORA_JOBS sets how many); ccache is used where present.
# Exits non-zero when a target finds a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
shift || true
build=build-fuzz
compiler_launcher=()
if command -v ccache >/dev/null 2>&1; then
  compiler_launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF "${compiler_launcher[@]}" >/dev/null
cmake --build "$build" -j"${VELMORA_JOBS:-2}" >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
# Runs one target; its report goes to $build/<target>.log, its status to <target>.status.
run_target() {
  local t=$1 corpus="$build/corpus/$1" seeds="fuzz/seeds/${1%_fuzz}"
  mkdir -p "$corpus" "$build/artifacts/$t"
  if [ -d "$seeds" ]; then cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true; fi
  # Inputs that once broke a reader, kept outside the project, join the seeds where present.
  # libFuzzer runs every input of the corpus before it starts fuzzing.
  local repro="${VELMORA_REPRO_DATA:-../shared/testdata/repro}"
  case $t in
    osm_poi_fuzz)
      for f in osm_mp_uaf.osm osm_ten_multipolygons.osm osm_two_multipolygons.osm; do
        if [ -f "$repro/$f" ]; then cp -n "$repro/$f" "$corpus"/ 2>/dev/null || true; fi
      done ;;
  esac
  local rc=0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/$t" "$corpus" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10 -max_len=65536 \
    -artifact_prefix="$build/artifacts/$t/" -print_final_stats=1 2>"$build/$t.log" || rc=$?
  echo "$rc" >"$build/$t.status"
}

# As many targets at a time as there are build jobs (VELMORA_JOBS, default 2).
jobs=${VELMORA_JOBS:-2}
running=0
for t in "${targets[@]}"; do
  echo "== $t (${seconds}s)"
  run_target "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

status=0
for t in "${targets[@]}"; do
  if [ "$(cat "$build/$t.status" 2>/dev/null || echo 1)" != 0 ]; then
    echo "FAILED: $t (see $build/$t.log and $build/artifacts/$t/)"
    tail -40 "$build/$t.log"
    status=1
  else
    echo "-- $t: $(grep -m1 -oE "seed corpus: files: [0-9]+" "$build/$t.log" | awk '{print $NF}')" \
      "corpus inputs replayed, $(grep -E "stat::number_of_executed_units" "$build/$t.log" | awk '{print $2}') runs," \
      "peak $(grep -E "stat::peak_rss_mb" "$build/$t.log" | awk '{print $2}') MB"
  fi
done
exit $status
