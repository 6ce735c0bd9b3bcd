#!/usr/bin/env bash
# Pictures of the window with the shipped example open, taken on a virtual X display (Xvfb) in
# Japanese and in English: build/screenshots/window_ja.png and window_en.png. The settings
# start empty, so the pictures do not depend on what a user last typed in the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
gui=build/default/bin/zevrin-gui
out=build/screenshots
mkdir -p "$out"
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
for lang in ja en; do
  case $lang in
    ja) locale=ja_JP.UTF-8 ;;
    en) locale=en_US.UTF-8 ;;
  esac
  env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=$locale XDG_CONFIG_HOME="$settings" \
    QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1024x768x24' \
    "$gui" --screenshot "$out/window_$lang.png" examples/half_box.mdl
  echo "$out/window_$lang.png"
done
