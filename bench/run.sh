#!/usr/bin/env bash
# Times whole conversions: for each case and size, one warm-up and five measured runs
# under /usr/bin/time -v; prints the median wall time and the median peak resident
# memory.  Usage: bench/run.sh [sizes...]   (default: 10000 100000 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
runs=5

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
cmake --build build-bench --target velmora -j2 >/dev/null
exe="$PWD/build-bench/velmora"
data="$PWD/bench/data"
work="$data/out"
mkdir -p "$data" "$work"
export SOURCE_DATE_EPOCH=1700000000

for n in "${sizes[@]}"; do
  [ -f "$data/wpt_$n.gpx" ] || python3 bench/gen_inputs.py gpx "$n" "$data/wpt_$n.gpx"
  [ -f "$data/cams_$n.txt" ] || python3 bench/gen_inputs.py txt "$n" "$data/cams_$n.txt"
  [ -f "$data/wpt_$n.gpi" ] || "$exe" "$data/wpt_$n.gpx" -o "$data/wpt_$n.gpi" 2>/dev/null
done

# median of the numbers on standard input
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

measure() {  # measure <input> <output>: prints "<wall s> <peak MiB>"
  local input=$1 output=$2 walls=() rss=() log
  log=$(mktemp)
  "$exe" "$input" -o "$output" 2>/dev/null || true  # warm-up
  for _ in $(seq "$runs"); do
    /usr/bin/time -v "$exe" "$input" -o "$output" 2>"$log" >/dev/null || true
    walls+=("$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(i=1;i<=n;i++) s=s*60+p[i]; print s}' "$log")")
    rss+=("$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2/1024}' "$log")")
  done
  rm -f "$log"
  printf '%s %s' "$(printf '%s\n' "${walls[@]}" | median)" "$(printf '%s\n' "${rss[@]}" | median)"
}

printf '| %-12s | %9s | %10s | %10s | %12s |\n' "case" "N" "input MB" "wall s" "peak RSS MiB"
printf '|%s|%s|%s|%s|%s|\n' "--------------" "-----------" "------------" "------------" "--------------"
for n in "${sizes[@]}"; do
  for c in "gpx gpi" "gpx gpx" "gpi gpx" "gpi gpi" "txt gpi"; do
    set -- $c
    case $1 in
      gpx) input="$data/wpt_$n.gpx" ;;
      gpi) input="$data/wpt_$n.gpi" ;;
      txt) input="$data/cams_$n.txt" ;;
    esac
    size=$(awk -v b="$(stat -c %s "$input")" 'BEGIN {printf "%.1f", b/1e6}')
    read -r wall rss <<<"$(measure "$input" "$work/out_$n.$2")"
    printf '| %-12s | %9s | %10s | %10s | %12s |\n' "$1 -> $2" "$n" "$size" "$wall" "$rss"
  done
done
