#!/usr/bin/env bash
# Installs what the web page's build and tests need, when any is missing: Debian's emscripten
# (the core as WebAssembly), Chromium (the browser tests), and the npm packages of web/
# (puppeteer-core, from web/package-lock.json).
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(emscripten libfast-float-dev chromium
          time)  # the peak memory of the command line in scripts/bench_web.sh
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm comes with some builds of node; Debian's own is a package of its own.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ! -d web/node_modules/puppeteer-core ] || [ web/package-lock.json -nt web/node_modules ]; then
  (cd web && npm ci --no-audit --no-fund --loglevel=error)
fi
