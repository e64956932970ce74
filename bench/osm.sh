#!/usr/bin/env bash
# Times OpenStreetMap input side by side with osmium tags-filter on the same synthetic
# extract and filter: 10M nodes, 1M closed ways, 100k matching objects (bench/gen_osm.py,
# made into PBF with osmium once, into bench/data/).  For each program: one warm-up and
# three measured runs under /usr/bin/time -v; prints the median wall time, processor time
# (user + system) and peak resident memory, and Velmora's wall time as a multiple of
# osmium's.  Usage: bench/osm.sh [nodes ways matches]   (default: 10000000 1000000 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
nodes=${1:-10000000} ways=${2:-1000000} matches=${3:-100000}
runs=3
command -v osmium >/dev/null || { echo "bench: osmium (osmium-tool) is needed" >&2; exit 1; }

if [ -n "${VELMORA_BENCH_EXE:-}" ]; then
  exe="$(realpath "$VELMORA_BENCH_EXE")"
else
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
  cmake --build build-bench --target velmora velmora_runtime -j2 >/dev/null
  exe="$PWD/build-bench/velmora"
fi
data="$PWD/bench/data"
mkdir -p "$data/out"
pbf="$data/osm_${nodes}_${ways}_${matches}.osm.pbf"
if [ ! -f "$pbf" ]; then
  python3 bench/gen_osm.py "$nodes" "$ways" "$matches" "$data/osm.opl"
  osmium cat -O "$data/osm.opl" -o "$pbf"
  rm -f "$data/osm.opl"
fi
filter="amenity=fuel|charging_station|parking,tourism=camp_site,highway=speed_camera"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

measure() {  # measure <command...>: prints "<wall s> <cpu s> <peak MiB>"
  local walls=() cpus=() rss=() log
  log=$(mktemp)
  "$@" >/dev/null 2>"$log" || { echo "bench: $* failed:" >&2; tail -5 "$log" >&2; exit 1; }
  for _ in $(seq "$runs"); do
    /usr/bin/time -v "$@" 2>"$log" >/dev/null || { rm -f "$log"; exit 1; }
    walls+=("$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(i=1;i<=n;i++) s=s*60+p[i]; print s}' "$log")")
    cpus+=("$(awk -F': ' '/User time|System time/ {s+=$2} END {printf "%.2f", s}' "$log")")
    rss+=("$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2/1024}' "$log")")
  done
  rm -f "$log"
  printf '%s %s %s' "$(printf '%s\n' "${walls[@]}" | median)" \
    "$(printf '%s\n' "${cpus[@]}" | median)" "$(printf '%s\n' "${rss[@]}" | median)"
}

echo "input: $(basename "$pbf") ($(awk -v b="$(stat -c %s "$pbf")" 'BEGIN {printf "%.1f", b/1e6}') MB), filter $filter"
echo "load before: $(uptime | sed 's/.*load average/load average/')"
read -r v_wall v_cpu v_rss <<<"$(measure "$exe" "$pbf" "-tags:$filter" -o "$data/out/osm.gpi")"
read -r o_wall o_cpu o_rss <<<"$(measure osmium tags-filter -O "$pbf" \
  amenity=fuel,charging_station,parking tourism=camp_site highway=speed_camera \
  -o "$data/out/osm_filtered.osm.pbf")"
printf '| %-40s | %7s | %7s | %12s |\n' "command" "wall s" "cpu s" "peak RSS MiB"
printf '|%s|%s|%s|%s|\n' "------------------------------------------" "---------" "---------" "--------------"
printf '| %-40s | %7s | %7s | %12s |\n' "velmora in.osm.pbf -tags:... -o out.gpi" "$v_wall" "$v_cpu" "$v_rss"
printf '| %-40s | %7s | %7s | %12s |\n' "osmium tags-filter in.osm.pbf ... -o" "$o_wall" "$o_cpu" "$o_rss"
awk -v v="$v_wall" -v o="$o_wall" 'BEGIN {printf "velmora / osmium tags-filter (wall): %.2f\n", v / o}'
echo "load after: $(uptime | sed 's/.*load average/load average/')"
