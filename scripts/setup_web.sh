#!/usr/bin/env bash
# Installs what the web page's build and tests need, when any is missing: Debian's emscripten
# (the core as WebAssembly), Chromium (the browser tests), the npm packages of web/
# (puppeteer-core, from web/package-lock.json), and Debian's sources of Assimp and zlib with the
# headers their build takes from the system (scripts/build_assimp_wasm.sh builds them), fetched
# once into build/wasm-deps/src through a source entry for the main archive.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(emscripten libfast-float-dev chromium
          time  # the peak memory of the command line in scripts/bench_web.sh
          libutfcpp-dev libstb-dev pkg-config patch dpkg-dev)  # Assimp's WebAssembly build
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm comes with some builds of node; Debian's own is a package of its own.
command -v npm >/dev/null || missing+=(npm)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# Debian's sources of the Assimp the desktop links, and of zlib (minizip), for the page.
src=build/wasm-deps/src
if ! ls -d $src/assimp-5.2.5 $src/zlib-1.2.13* $src/assimp-debian/patches >/dev/null 2>&1; then
  list=/etc/apt/sources.list.d/zevrin-deb-src.sources
  if ! apt-get source --download-only --print-uris assimp >/dev/null 2>&1; then
    # The main archive's entry, as a source entry.
    main=/etc/apt/sources.list.d/debian.sources
    uris=$(awk '/^URIs:/ {print $2; exit}' $main)
    signed=$(awk '/^Signed-By:/ {print $2; exit}' $main)
    printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: %s\n' \
      "${uris:-http://deb.debian.org/debian}" \
      "${signed:-/usr/share/keyrings/debian-archive-keyring.gpg}" | $sudo tee $list >/dev/null
    $sudo apt-get update -qq
  fi
  rm -rf $src
  mkdir -p $src
  (cd $src && apt-get source --download-only assimp=5.2.5~ds0-1 zlib 2>&1 | grep -v '^W:' || true)
  (cd $src && tar xf assimp_5.2.5~ds0.orig.tar.xz && tar xf assimp_5.2.5~ds0-1.debian.tar.xz &&
   mv debian assimp-debian && tar xf zlib_*.orig.tar.* && rm -f ./*.tar.* ./*.dsc)
fi
if [ ! -d web/node_modules/puppeteer-core ] || [ web/package-lock.json -nt web/node_modules ]; then
  (cd web && npm ci --no-audit --no-fund --loglevel=error)
fi
