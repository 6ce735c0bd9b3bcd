#!/usr/bin/env bash
# Times the import of the same N x N quad grid given as DXF 3DFACEs (Zevrin's own reader) and
# as OBJ (through Assimp), each opened with `zevrin info` into the template model.
# Usage: bench_assimp.sh ZEVRIN_BINARY [N]   (default N = 1000: a million faces)
set -euo pipefail
zevrin=$1
n=${2:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$(dirname "$0")/quad_grid.py" "$n" "$work" dxf
for f in grid.dxf grid.obj; do
  size=$(du -m "$work/$f" | cut -f1)
  /usr/bin/time -f "$f ($size MB, $((n * n)) faces): %e s, %M KB peak" "$zevrin" -q info "$work/$f"
done
