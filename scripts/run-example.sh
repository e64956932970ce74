#!/usr/bin/env bash
# Builds Velmora and converts the bundled example GPX file into a GPI file with icons.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target velmora velmora_runtime -j2
status=0
build/velmora examples/example.gpx -o build/example_velmora.gpi || status=$?
echo
if [ "$status" -eq 0 ]; then
  echo "Wrote build/example_velmora.gpi"
else
  echo "The conversion failed (exit code $status)" >&2
fi
exit "$status"
