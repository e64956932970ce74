#!/usr/bin/env bash
# Guards speed work against changes of the output: converts every benchmark case at
# 10k and 100k waypoints with the Release build of build-bench/ and compares the
# outputs byte for byte with those saved before, and the messages too (without their
# timings, and with the program's directory shown as "<program>", so that builds in
# other directories compare).
#   bench/same_bytes.sh --save   saves the outputs of the current build as the reference
#   bench/same_bytes.sh          compares (exit status 1 on any difference)
# Run bench/run.sh 10000 100000 once first: it builds the program and the inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build-bench --target velmora velmora_runtime -j2 >/dev/null
exe="$PWD/build-bench/velmora"
data="$PWD/bench/data"
ref="$data/ref"
check="$data/check"
export SOURCE_DATE_EPOCH=1700000000

target=$check
[ "${1:-}" = "--save" ] && target=$ref
mkdir -p "$target"
status=0
for n in 10000 100000; do
  for c in "gpx gpi" "gpx gpx" "gpi gpx" "gpi gpi" "txt gpi"; do
    set -- $c
    case $1 in
      gpx) input="$data/wpt_$n.gpx" ;;
      gpi) input="$data/wpt_$n.gpi" ;;
      txt) input="$data/cams_$n.txt" ;;
    esac
    out="out_${n}_$1_$2.$2"
    # Each output is written alone in a directory, as a GPI file takes a header time
    # that no other GPI file beside it holds.
    alone=$(mktemp -d)
    "$exe" "$input" -o "$alone/$out" 2>&1 >/dev/null |
      sed -E -e 's/ [0-9]+\.[0-9] msec//g' -e "s|$(dirname "$exe")/|<program>/|g" \
        -e "s|$alone/|$target/|g" >"$target/$out.log"
    mv "$alone/$out" "$target/$out"
    rmdir "$alone"
    if [ "$target" = "$check" ]; then
      if cmp -s "$ref/$out" "$check/$out" && cmp -s "$ref/$out.log" "$check/$out.log"; then
        echo "same      $out"
      else
        echo "DIFFERENT $out"
        status=1
      fi
    fi
  done
done
exit $status
