#!/usr/bin/env bash
# Fails on an #include that runs against the layer order: each folder below is one layer (or
# adapter, or front end) and may include only the layers it is listed with. The CMake targets
# link in the same order. The web page uses the core, and its module the Assimp adapter as the
# programs do. Tests, benchmarks and fuzz targets may use anything.
#   scripts/check_layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The layer of a path, by its longest matching folder.
layer_of() {
  case "$1" in
    util/*) echo util ;;
    model/tree/*) echo tree ;;
    import/assimp/*) echo assimp ;;
    import/*) echo import ;;
    view/qt/*) echo raster ;;
    view/*) echo view ;;
    mesh/*) echo mesh ;;
    model/*) echo model ;;
    app/session/*) echo session ;;
    app/*) echo window ;;
    cli/*) echo cli ;;
    web/*) echo web ;;
    *) echo "" ;;
  esac
}

# What each layer may include (itself always).
allowed() {
  case "$1" in
    util) echo "util" ;;
    tree) echo "util tree" ;;
    import) echo "util tree import" ;;
    view) echo "util tree view" ;;
    mesh) echo "util tree import view mesh" ;;
    model) echo "util tree import view mesh model" ;;
    session) echo "util tree import view mesh model session" ;;
    assimp) echo "util tree import assimp" ;;
    raster) echo "util tree view raster" ;;
    cli) echo "util tree import view mesh model session assimp raster cli" ;;
    window) echo "util tree import view mesh model session assimp raster window" ;;
    web) echo "util tree import view mesh model session assimp web" ;;
  esac
}

status=0
while IFS= read -r file; do
  from=$(layer_of "$file")
  [ -n "$from" ] || continue
  ok=" $(allowed "$from") "
  while IFS=: read -r line include; do
    to=$(layer_of "$include")
    [ -n "$to" ] || continue  # a system or library header
    case "$ok" in
      *" $to "*) ;;
      *)
        echo "$file:$line: #include \"$include\" reaches the $to layer, which $from may not use"
        status=1
        ;;
    esac
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
           sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done < <(git ls-files -co --exclude-standard -- '*.h' '*.cpp')
if [ "$status" -eq 0 ]; then echo "Layers: every include follows the order."; fi
exit "$status"
