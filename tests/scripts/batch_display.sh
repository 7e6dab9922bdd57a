#!/usr/bin/env bash
# halvex --batch: start-up, raw slices, presets, "Nega", zoom and WWSET, as a
# user would drive them; checks the echo and the saved views.
# Usage: batch_display.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
mkdir -p "$work/raw"

# Three raw slices of constant value 40, 140 and 240 (raw slices carry no
# intercept, so the stored values are CT numbers).
/usr/bin/python3 - "$work/raw" <<'PY'
import struct, sys
for i, v in enumerate((40, 140, 240)):
    open(f"{sys.argv[1]}/s{i+1:03d}.raw", "wb").write(struct.pack("<h", v) * 262144)
PY

cat > "$work/script.hvx" <<EOS
print caption
file "$work/raw/s001.raw"
answer "$work/raw/"
answer 0.5
answer 1.25
click RAWRD
print slices
click ABDOBTN2
print controls
save view "$work/plain.png"
set HS1 1
print roi
click NEGACK
save view "$work/nega.png"
click NEGACK
click BAI2CK
answer 200
answer 140
click WWSET
print clipboard
save view "$work/zoom.png"
EOS

out=$("$bin/halvex" --batch "$work/script.hvx" --app-folder "$work/app" 2>/dev/null)
rc=$?
check() {  # check NAME CONDITION...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}
has() { grep -qF -- "$1" <<<"$out"; }

check "exit code 0" test "$rc" -eq 0
check "start-up caption" has "caption CTDSPF \"TessamirBasic ver.$("$bin/halvex" --version): CTDSP\""
check "three slices read" has 'slices 3 current 1'
check "raw increment" has 'slice 2 name "s002.raw"'
check "raw position" grep -qE 'slice 3 .* pos 2\.50 ' <<<"$out"
check "preset boxes" has 'control WWTX "400"'
check "roi follows the slice" has 'result "ave 140.00 sd 0.00"'
check "WWSET prompt" has 'prompt " WW = " default " 400" -> "200"'
check "WWSET bitmap on the clipboard" has 'clipboard| (bitmap 512x512)'

# Grey levels of the views at the image centre (row 300, clear of the text):
# CT 40 in 400/40 -> 128; CT 140 -> 191, shown negative as 64;
# zoomed with 200/140: CT 140 -> 128.
pixel() {
  /usr/bin/python3 - "$1" <<'PY'
import sys
from PIL import Image
print(Image.open(sys.argv[1]).convert("RGB").getpixel((100, 300))[0])
PY
}
check "plain view grey" test "$(pixel "$work/plain.png")" = 128
check "negative view grey" test "$(pixel "$work/nega.png")" = 64
check "zoomed view grey" test "$(pixel "$work/zoom.png")" = 128

finish
