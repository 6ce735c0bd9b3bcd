#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libcli11-dev qt6-base-dev fonts-vlgothic
          libqt6opengl6-dev  # Qt's OpenGL classes, for the shaded view of the window
          libfast-float-dev  # reading doubles, natively and in WebAssembly
          clang-format  # the format check of the tests
          libassimp-dev  # OBJ, STL, PLY, 3DS, FBX and the other polygon formats
          clang libclang-rt-dev  # libFuzzer, for scripts/fuzz.sh
          xvfb xauth)  # the window under a virtual display, for scripts/screenshot.sh
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
