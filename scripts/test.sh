#!/usr/bin/env bash
# Builds Velmora and runs the whole test suite twice: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer; then, where clang is available, each
# fuzz target for a short while.  Exits non-zero when any test or fuzz target fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh
jobs="${VELMORA_JOBS:-2}"

echo "== normal build =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure --timeout 300)

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_WERROR=ON -DVELMORA_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest -j"$jobs" --output-on-failure --timeout 600)
echo "== fuzz targets =="
# Each libFuzzer target runs for a short while from its seed corpus (VELMORA_FUZZ_SECONDS,
# default 30; 0 skips).  Needs clang++ and its libFuzzer runtime; without them the step
# is skipped.
fuzz_seconds="${VELMORA_FUZZ_SECONDS:-30}"
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
fi
rm -rf "$probe_dir"
echo "All tests passed."
