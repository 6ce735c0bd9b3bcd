#!/usr/bin/env bash
# Builds Zevrin and opens the shipped example in its window. Without a display (an unattended
# run) the command line opens, counts and saves a copy instead, and a picture of the window
# is drawn offscreen: nothing ever waits for a window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
zevrin=build/default/bin/zevrin
gui=build/default/bin/zevrin-gui
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "\$ zevrin-gui examples/half_box.mdl"
  if "$gui" examples/half_box.mdl; then exit 0; fi
  echo "The window could not be opened; the command line instead." >&2
fi
echo "\$ zevrin info examples/half_box.mdl"
"$zevrin" info examples/half_box.mdl
echo "\$ zevrin convert examples/half_box.mdl -o build/half_box_copy.mdl"
"$zevrin" convert examples/half_box.mdl -o build/half_box_copy.mdl
echo "\$ zevrin-gui --screenshot build/half_box_window.png examples/half_box.mdl"
QT_QPA_PLATFORM=offscreen "$gui" --screenshot build/half_box_window.png examples/half_box.mdl
