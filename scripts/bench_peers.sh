#!/usr/bin/env bash
# DXF readers side by side: Zevrin's import and its floors against Assimp, dxflib and ezdxf
# from Debian's packages, on the same generated drawings of 3DFACE triangles (a connected
# grid, eight layers). The peers are installed here and built in a scratch folder from
# bench/peers/; nothing of them is linked into Zevrin.
#
#   bash scripts/bench_peers.sh [FACES...]        default: 10000 100000 1000000
#
# RUNS (default 3): runs per reader and size, the median shown; a reader whose first run
# takes longer than 30 s runs once. BUILD (default build/release): where Zevrin's release
# build with bench_scale is, or is made.
#
# Zevrin's rows time the step inside the process (bench_scale time STEP FILE); the peers'
# rows time their whole process with /usr/bin/time. Peak: highest resident memory.
set -euo pipefail
cd "$(dirname "$0")/.."
faces=("$@")
[ ${#faces[@]} -gt 0 ] || faces=(10000 100000 1000000)
runs=${RUNS:-3}
build=${BUILD:-build/release}

packages=(g++ time libassimp-dev libdxflib-dev python3-ezdxf assimp-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

if [ ! -x "$build/bin/bench_scale" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEVRIN_BUILD_TESTS=OFF >&2
  cmake --build "$build" -j2 --target bench_scale >&2
fi
bench="$build/bin/bench_scale"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -o "$work/assimp_read" bench/peers/assimp_read.cpp -lassimp
g++ -O2 -o "$work/dxflib_read" bench/peers/dxflib_read.cpp -ldxflib

version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "?"; }

# measure KIND COMMAND...: prints "median_seconds peak_kB" over the runs. KIND zevrin: the
# command prints "seconds peak_kB" itself; KIND process: the whole process is timed.
measure() {
  local kind=$1
  shift
  local times=() peak=0 t k
  for ((r = 0; r < runs; r++)); do
    if [ "$kind" = zevrin ]; then
      read -r t k < <("$@")
    else
      /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
        { echo "failed: $* ($(tail -n1 "$work/err"))" >&2; echo "nan 0"; return; }
      read -r t k < "$work/time"
    fi
    times+=("$t")
    [ "$k" -gt "$peak" ] && peak=$k
    awk -v t="$t" 'BEGIN { exit !(t > 30) }' && break
  done
  printf '%s\n' "${times[@]}" | sort -g | awk -v peak="$peak" '
    { v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
                         print m, peak }'
}

printf 'Assimp %s, dxflib %s, ezdxf %s; medians of up to %d runs\n' \
  "$(version libassimp5)" "$(version libdxflib3)" "$(version python3-ezdxf)" "$runs"
for n in "${faces[@]}"; do
  file="$work/grid_$n.dxf"
  "$bench" gen-dxf "$n" "$file" >/dev/null
  size=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.1f", b / 1048576 }')
  printf '\nDXF of %s triangles (%s MB)\n' "$n" "$size"
  printf '  %-36s %10s %10s %10s %10s\n' reader wall peak "/floor" "/weld"
  read -r floor_t floor_k < <(measure zevrin "$bench" time parse "$file")
  read -r weld_t weld_k < <(measure zevrin "$bench" time dxf-floor "$file")
  row() {  # row NAME SECONDS PEAK_KB
    awk -v name="$1" -v t="$2" -v k="$3" -v f="$floor_t" -v w="$weld_t" 'BEGIN {
      printf "  %-36s %8.3f s %7d MB %9.2fx %9.2fx\n", name, t, k / 1024, t / f, t / w }'
  }
  read -r t k < <(measure zevrin "$bench" time split "$file")
  row "floor: split into lines" "$t" "$k"
  row "floor: split + parse every number" "$floor_t" "$floor_k"
  row "floor + weld + edge merge (hash)" "$weld_t" "$weld_k"
  read -r import_t k < <(measure zevrin "$bench" time import "$file")
  row "Zevrin import (ready to save)" "$import_t" "$k"
  read -r t k < <(measure process "$work/assimp_read" "$file")
  row "Assimp ReadFile" "$t" "$k"
  awk -v a="$t" -v z="$import_t" 'BEGIN {
    printf "  %-36s %8.2fx\n", "Assimp ReadFile / Zevrin import", a / z }'
  read -r t k < <(measure process "$work/dxflib_read" "$file")
  row "dxflib DL_Dxf::in" "$t" "$k"
  read -r t k < <(measure process /usr/bin/python3 bench/peers/ezdxf_read.py "$file")
  row "ezdxf readfile" "$t" "$k"
  rm -f "$file"
done
