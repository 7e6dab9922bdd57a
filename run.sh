#!/usr/bin/env bash
# Sets up the machine, builds halvex and opens a demo CT series in it. The demo
# series (40 slices of a water phantom with test objects) is generated on first
# use into build/demo/series. Arguments, when given, are passed to halvex
# instead (files or folders to open).
# Without a display, runs the demo as an automation script and says where its
# outputs are.
set -euo pipefail
cd "$(dirname "$0")"
BUILD_DIR=build scripts/setup.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo

demo=build/demo
if [ ! -f "$demo/series/phantom_truth.txt" ]; then
  echo "Generating the demo series in $demo/series ..."
  build/bin/phantom --out "$demo/series" --slices 40 --noise 10 --seed 7 --inserts 300:14,-100:14,50:14 >/dev/null
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  if [ $# -gt 0 ]; then exec build/bin/halvex "$@"; fi
  exec build/bin/halvex "$demo/series"
fi

echo "No display found: running the demo headless with halvex --batch."
out=$(realpath "$demo")
first=$(ls "$out/series"/*.dcm | head -n 1)
cat > "$out/demo.hvx" <<EOS
# Load the series with "Read", page to slice 20, measure the ROI, save the view.
file "$first"
answer "$out/series/"
click DSORT
print slices
click ABDOBTN2
set HS1 19
print roi
click ROIS 1
set HS1 20
print roi
save view "$out/demo-view.png"
EOS
mkdir -p "$out/app"
cp build/bin/VOXIM.INI build/bin/NFD.BMP build/bin/PARAM.TXT "$out/app/"
build/bin/halvex --batch "$out/demo.hvx" --app-folder "$out/app" | tee "$out/demo-output.txt"
echo
echo "Demo outputs: $out/demo-output.txt (what halvex printed), $out/demo-view.png (the view),"
echo "the script: $out/demo.hvx, the series: $out/series (truth in phantom_truth.txt)."
