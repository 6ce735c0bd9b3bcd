#!/usr/bin/env bash
# Pictures of the real window looked at closer, as a user gets there: on a virtual X display
# with a window manager (openbox), the window is driven with xdotool (the wheel over the
# picture, a drag with the middle button, the View menu) and taken with ImageMagick's import.
# In Japanese and in English, for the shipped half box (front view, zoomed about a corner)
# and for a DXF drawing that is a speck when fitted (top view, zoomed in):
#   build/screenshots/zoomed_{ja,en}_box.png, zoomed_{ja,en}_rifle.png
#   scripts/screenshot_zoomed.sh
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
for p in xvfb xauth xdotool openbox imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zevrin-gui
gui=$PWD/build/default/bin/zevrin-gui
out=build/screenshots
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp &
pids+=($!)
export DISPLAY=$display
sleep 1
openbox &
pids+=($!)
sleep 1

# Starts the window on FILE in language LANG, waits for it, and prints its window id.
start() {
  local lang=$1 file=$2 locale
  case $lang in ja) locale=ja_JP.UTF-8 ;; *) locale=en_US.UTF-8 ;; esac
  env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=$locale XDG_CONFIG_HOME="$work/config" \
    QT_QPA_PLATFORM=xcb "$gui" "$file" >/dev/null 2>&1 &
  app=$!
  pids+=($app)
  local id=""
  for _ in $(seq 50); do
    id=$(xdotool search --pid "$app" --onlyvisible --name Zevrin 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "the window did not appear" >&2; exit 1; }
  sleep 1.5  # the file opens once the window stands
  window=$id
}

# Turns the wheel N notches up over the point X Y of the window.
zoom_at() {
  xdotool mousemove --window "$window" "$2" "$3"
  for _ in $(seq "$1"); do
    xdotool click 4
    sleep 0.15
  done
}

for lang in ja en; do
  start "$lang" "$PWD/examples/half_box.mdl"
  xdotool windowactivate --sync "$window"
  zoom_at 3 330 190
  # A drag with the middle button moves the picture.
  xdotool mousemove --window "$window" 300 300 mousedown 2 mousemove --window "$window" 340 320 \
    mouseup 2
  sleep 0.7
  echo "$lang, box: $(xdotool getwindowname "$window")"
  import -frame -window "$window" "$out/zoomed_${lang}_box.png"
  kill "$app"

  start "$lang" "$PWD/tests/data/assimp_rifle_ac3d.dxf"
  xdotool windowactivate --sync "$window"
  # View > Top, from the keyboard: the menu's mnemonic letters are the same in both languages.
  xdotool key alt+v
  sleep 0.3
  xdotool key t
  sleep 0.7
  zoom_at 6 265 250
  sleep 0.7
  echo "$lang, rifle: $(xdotool getwindowname "$window")"
  import -frame -window "$window" "$out/zoomed_${lang}_rifle.png"
  kill "$app"
done
ls "$out"/zoomed_*.png
