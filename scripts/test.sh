#!/usr/bin/env bash
# Builds Velmora and runs the whole test suite twice: a normal build (with the checks of
# the installed program, the Debian package and the sources), then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer at -O1; then, where clang is
# available, each fuzz target replays its corpus and fuzzes for a short while.  Exits
# non-zero when any test or fuzz target fails.
# VELMORA_JOBS sets the build and test jobs (default 2); VELMORA_FUZZ_SECONDS the time
# of each fuzz target after its corpus (default 5, 0 skips fuzzing; longer runs through
# fuzz/run.sh N).  ccache is used where it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh
jobs="${VELMORA_JOBS:-2}"
started=$SECONDS

# ccache where present; its cache is shared by clones in other folders of the machine.
compiler_launcher=()
if command -v ccache >/dev/null 2>&1; then
  compiler_launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
fi
# Minutes and seconds since the start, for the log.
elapsed() { printf '%d:%02d' $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60)); }

echo "== normal build =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON \
  "${compiler_launcher[@]}" >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure --timeout 300)
echo "-- normal build and tests done at $(elapsed)"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build (-O1) =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DVELMORA_WERROR=ON -DVELMORA_SANITIZE=ON "${compiler_launcher[@]}" >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest -j"$jobs" --output-on-failure --timeout 600)
echo "-- sanitizer build and tests done at $(elapsed)"

echo "== fuzz targets =="
# Needs clang++ and its libFuzzer runtime; without them the step is skipped.
fuzz_seconds="${VELMORA_FUZZ_SECONDS:-5}"
probe_dir="$(mktemp -d)"
if [ "$fuzz_seconds" = 0 ]; then
  echo "Fuzzing skipped (VELMORA_FUZZ_SECONDS=0)."
elif ! command -v clang++ >/dev/null 2>&1; then
  echo "Fuzzing skipped: clang++ is not installed."
elif ! printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' |
     clang++ -fsanitize=fuzzer -x c++ - -o "$probe_dir/probe" >/dev/null 2>&1; then
  echo "Fuzzing skipped: clang++ has no libFuzzer runtime (-fsanitize=fuzzer)."
else
  VELMORA_JOBS="$jobs" fuzz/run.sh "$fuzz_seconds"
  echo "-- fuzz targets done at $(elapsed)"
fi
rm -rf "$probe_dir"
echo "All tests passed in $(elapsed)."
