#!/usr/bin/env bash
# Times whole conversions: for each case and size, one warm-up and five measured runs
# under /usr/bin/time -v; prints the median wall time, the median processor time (user
# + system: what the program itself used, telling on a machine that others share) and
# the median peak resident memory.  Usage: bench/run.sh [sizes...]   (default: 10000 100000 1000000)
# VELMORA_BENCH_CASES picks cases, for example "gpx:gpi full:gpi" (default: all but
# "kmz:gpi", a KMZ archive of N placemarks with fifty PNG icons, and "gpi:html"; the
# cases to geojson, kmz, kml and html time those outputs).  The "full" input is the GPX
# input whose every waypoint also carries an address, a phone number and a category.
#
# The program is a Release build in build-bench/, with the settings files and the
# icons directories of examples/ beside it.  Inputs are generated once into
# bench/data/; the outputs of the last run of every case stay in bench/data/out/
# (out_<N>_<from>_<to>.<to>), stamped with SOURCE_DATE_EPOCH so that they can be
# compared byte for byte between builds.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
runs=5

# VELMORA_BENCH_EXE names another build of the program to time (an older one, to compare);
# it needs the settings files and icons beside it as well.
if [ -n "${VELMORA_BENCH_EXE:-}" ]; then
  exe="$(realpath "$VELMORA_BENCH_EXE")"
else
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
  # velmora_runtime copies the settings files and icons beside the program.
  cmake --build build-bench --target velmora velmora_runtime -j2 >/dev/null
  exe="$PWD/build-bench/velmora"
fi
for needed in Velmora_gpi.ini Velmora_speedcam.ini icons/waypoint.bmp icons/speedcam/Speed_50.bmp; do
  if [ ! -f "$(dirname "$exe")/$needed" ]; then
    echo "bench: $needed is missing beside $exe" >&2
    exit 1
  fi
done
data="$PWD/bench/data"
work="$data/out"
mkdir -p "$data" "$work"
export SOURCE_DATE_EPOCH=1700000000

for n in "${sizes[@]}"; do
  [ -f "$data/wpt_$n.gpx" ] || python3 bench/gen_inputs.py gpx "$n" "$data/wpt_$n.gpx"
  [ -f "$data/full_$n.gpx" ] || python3 bench/gen_inputs.py full "$n" "$data/full_$n.gpx"
  [ -f "$data/cams_$n.txt" ] || python3 bench/gen_inputs.py txt "$n" "$data/cams_$n.txt"
  [ -f "$data/pois_$n.csv" ] || python3 bench/gen_inputs.py csv "$n" "$data/pois_$n.csv"
  [ -f "$data/osm_$n.geojson" ] || python3 bench/gen_inputs.py geojson "$n" "$data/osm_$n.geojson"
  [ -f "$data/places_$n.kml" ] || python3 bench/gen_inputs.py kml "$n" "$data/places_$n.kml"
  [ -f "$data/wpt_$n.gpi" ] || "$exe" "$data/wpt_$n.gpx" -o "$data/wpt_$n.gpi" 2>/dev/null
done

# median of the numbers on standard input
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

measure() {  # measure <input> <output>: prints "<wall s> <cpu s> <peak MiB>"
  local input=$1 output=$2 walls=() cpus=() rss=() log
  log=$(mktemp)
  if ! "$exe" "$input" -o "$output" 2>"$log" >/dev/null; then  # warm-up
    echo "bench: $exe $input -o $output failed:" >&2
    tail -5 "$log" >&2
    rm -f "$log"
    exit 1
  fi
  for _ in $(seq "$runs"); do
    # The wall time is read from the clock around the run, to the millisecond: time(1)
    # tells hundredths only, too coarse for the smaller inputs.
    local start end
    start=$(date +%s%N)
    /usr/bin/time -v "$exe" "$input" -o "$output" 2>"$log" >/dev/null || { rm -f "$log"; exit 1; }
    end=$(date +%s%N)
    walls+=("$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f", (b - a) / 1e9}')")
    cpus+=("$(awk -F': ' '/User time|System time/ {s+=$2} END {printf "%.2f", s}' "$log")")
    rss+=("$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2/1024}' "$log")")
  done
  rm -f "$log"
  printf '%s %s %s' "$(printf '%s\n' "${walls[@]}" | median)" \
    "$(printf '%s\n' "${cpus[@]}" | median)" "$(printf '%s\n' "${rss[@]}" | median)"
}

echo "load before: $(uptime | sed 's/.*load average/load average/')"
printf '| %-15s | %9s | %8s | %7s | %7s | %12s |\n' "case" "N" "input MB" "wall s" "cpu s" "peak RSS MiB"
printf '|%s|%s|%s|%s|%s|%s|\n' "-----------------" "-----------" "----------" "---------" "---------" "--------------"
cases=${VELMORA_BENCH_CASES:-"gpx:gpi gpx:gpx gpx:geojson gpx:kmz gpx:html gpi:gpx gpi:geojson gpi:gpi txt:gpi csv:gpi full:gpi geojson:gpi kml:gpi"}
for n in "${sizes[@]}"; do
  for c in $cases; do
    set -- ${c/:/ }
    case $1 in
      gpx) input="$data/wpt_$n.gpx" ;;
      full) input="$data/full_$n.gpx" ;;
      gpi) input="$data/wpt_$n.gpi" ;;
      txt) input="$data/cams_$n.txt" ;;
      csv) input="$data/pois_$n.csv" ;;
      geojson) input="$data/osm_$n.geojson" ;;
      kml) input="$data/places_$n.kml" ;;
      # Not among the default cases: a KMZ of N placemarks with fifty PNG icons.
      kmz) input="$data/places_$n.kmz"
           [ -f "$input" ] || python3 bench/gen_inputs.py kmz "$n" "$input" ;;
    esac
    size=$(awk -v b="$(stat -L -c %s "$input")" 'BEGIN {printf "%.1f", b/1e6}')
    read -r wall cpu rss <<<"$(measure "$input" "$work/out_${n}_$1_$2.$2")"
    [ -n "$rss" ] || exit 1
    printf '| %-15s | %9s | %8s | %7s | %7s | %12s |\n' "$1 -> $2" "$n" "$size" "$wall" "$cpu" "$rss"
  done
done
echo "load after: $(uptime | sed 's/.*load average/load average/')"
