#!/usr/bin/env bash
# halvex --batch through the measurement window on a generated phantom
# series: the circular edge of the rod and the straight edge of the block,
# each fitted by "Auto edge", to an MTF on the clipboard that matches the
# blur the phantom was made with; the graph saved as PNG; the window refused
# before "Measure>" opens it; d' of a noisy slice and of its 3D-MORV result.
# Usage: batch_measurement.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
"$bin/phantom" --out "$work/series" --slices 2 --noise 0 --sigma 0.5 >/dev/null || exit 1

# The value a "Clip MTF" line gives for a frequency (".288" -> 0.288).
clipValue() { awk -F'\t' -v f="$1" '$1 == "clipboard| " f { v = $2; sub(/^\./, "0.", v); print v }' <<<"$2"; }
# True when value lies within tolerance of the expected one.

"$bin/halvex" --batch - --app-folder "$work/app" >/dev/null 2>&1 <<EOS
window CTPSFF
EOS
check "the window is not there before Measure>" test $? -eq 2

# The rod (25 mm, centre at pixel 95.76, 255.5), a 40-pixel ROI around it.
out=$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
roi 76 236 40 40
click SHOWMW
window CTPSFF
click REDGE
click AUTOEDGE
click EDGEOK
click BASESET
mouse window 1 92 0
mouse window 2 164 0
answer 2
click MTFCLC
print clipboard
answer 2
click CLIPMTF
print clipboard
save canvas "$work/graph.png"
click CLRSCREEN
EOS
)
check "circular edge run exits 0" test $? -eq 0
check "the window opens" grep -qx 'show CTPSFF' <<<"$out"
check "auto edge finds the rod's centre" grep -qF 'caption CTPSFF "centre 95.76, 255.50"' <<<"$out"
check "stored curve labelled with method and kernel" grep -qx 'clipboard| RE STANDARD' <<<"$out"
# FOV 250: 128 bins of 6/250 cycles/mm at 0.05 spacing.
check "62 exported values" test "$(grep -cE '^clipboard\| [0-9]+\.[0-9]{3}$' <<<"$out")" -eq 62
# sigma 0.5 mm: exp(-2 pi^2 0.25 f^2) sinc^2(f p / 3) = 0.285 at 0.5 and 0.636 at 0.3 cycles/mm.
check "MTF at 0.5 cycles/mm" near "$(clipValue 0.50 "$out")" 0.285 0.01
check "MTF at 0.3 cycles/mm" near "$(clipValue 0.30 "$out")" 0.636 0.01
check "graph saved as PNG" grep -qF 'saved canvas' <<<"$out"
check "PNG signature" test "$(head -c 4 "$work/graph.png" | tail -c 3)" = "PNG"
check "the window closes" grep -qx 'hide CTPSFF' <<<"$out"

# The block's left edge, tilted by 3 degrees.
out=$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
roi 363 232 64 48
click SHOWMW
window CTPSFF
click EDGE
click AUTOEDGE
click EDGEOK
click BASESET
answer 1
click MTFCLC
answer 1
click CLIPMTF
print clipboard
EOS
)
check "linear edge run exits 0" test $? -eq 0
check "auto edge finds the tilt" grep -qF 'caption CTPSFF "slope 0.0523"' <<<"$out"
check "linear MTF at 0.5 cycles/mm" near "$(clipValue 0.50 "$out")" 0.285 0.01

# The wire (0.2 mm, at x 0.1, y -40 mm: column 255.7, row 173.5) through
# the slit and the 2D FFT; sigma 0.5 mm and the wire's own width give 0.287
# at 0.5 cycles/mm.
"$bin/phantom" --out "$work/wire" --slices 1 --noise 0 --sigma 0.5 --wire-x 0.1 --wire-y -40 >/dev/null 2>&1 || exit 1
out=$(run <<EOS
file "$work/wire/PH0001.dcm"
answer "$work/wire/"
click DSORT
roi 236 154 40 40
click SHOWMW
window CTPSFF
answer 0
answer 250
answer 40
click VSLIT
click BASESET
answer 1
click MTFCLC
answer 0
answer 250
answer 2
click FFT2DMTF
answer 1
click CLIPMTF
print clipboard
answer 2
click CLIPMTF
print clipboard
EOS
)
check "wire run exits 0" test $? -eq 0
check "slit LSF waits for its baseline" grep -qF 'caption CTPSFF "Please set baseline."' <<<"$out"
# The caption adds the peak-to-noise ratio: the noise-free slice has no
# noise around the wire.
check "2D FFT stored with its label" grep -qx 'caption CTPSFF "FFT2D STANDARD PNR>999"' <<<"$out"
slit=$(grep -A40 -x 'clipboard| 	VS-X STANDARD' <<<"$out")
fft=$(grep -A40 -x 'clipboard| 	FFT2D STANDARD' <<<"$out")
check "slit MTF at 0.5 cycles/mm" near "$(clipValue 0.50 "$slit")" 0.287 0.01
check "2D FFT MTF at 0.5 cycles/mm" near "$(clipValue 0.50 "$fft")" 0.287 0.01

# Noise of SD 20 HU in the water: NPS = 20^2 (250/512)^2 = 95.4 HU^2 mm^2.
"$bin/phantom" --out "$work/noise" --slices 10 --noise 20 --sigma 0.4 >/dev/null || exit 1
out=$(run <<EOS
file "$work/noise/PH0001.dcm"
answer "$work/noise/"
click DSORT
roi 192 192 128 128
click SHOWMW
window CTPSFF
answer 1
answer 1
answer 10
answer 1
click NPSVS
print clipboard
answer 1
click NPSCLIP
print clipboard
EOS
)
# The mean of the exported values from 0.2 cycles/mm on (the blur of the
# phantom lowers the NPS below about 0.3).
npsMean() { awk -F'\t' '/^clipboard\| [0-9]/ && $1 >= "clipboard| 0.20" && $1 <= "clipboard| 0.40" { s += $2; n++ } END { if (n) print s / n }' <<<"$1"; }
check "NPS run exits 0" test $? -eq 0
check "NPS labelled with kernel and mAs" grep -qx 'clipboard| STANDARD 100' <<<"$out"
# The caption adds the largest standard error of a bin: 10 slices of four
# 30-row slits leave 80 samples in the narrowest bins, worth 53 independent
# ones under the Hann taper.
check "NPS graph shown" grep -qF 'caption CTPSFF "STANDARD 100 SE=14%: noise decides this NPS' <<<"$out"
check "NPS of the white noise" near "$(npsMean "$out")" 95.4 4

# The thin disc (0.5 mm, 1000 HU) across 21 slices 0.2 mm apart, blurred
# along z by sigma_z 0.6 mm: FWHM = 2.3548 sqrt(0.6^2 + 0.5^2 / 12) = 1.44 mm.
"$bin/phantom" --out "$work/disc" --slices 21 --spacing 0.2 --noise 0 --sigma-z 0.6 >/dev/null 2>&1 || exit 1
out=$(run <<EOS
file "$work/disc/PH0001.dcm"
answer "$work/disc/"
click DSORT
roi 246 410 20 20
click SHOWMW
window CTPSFF
answer 1
answer 21
answer 1
click SSPMES
print clipboard
answer 1
answer 21
click CTVAL
print clipboard
EOS
)
fwhm=$(awk -F'\t' '$1 == "clipboard| FWHM " { print $2 }' <<<"$out")
check "SSP run exits 0" test $? -eq 0
check "SSP clipboard starts with the thickness" grep -qx 'clipboard| Thickness	1.00' <<<"$out"
check "SSP FWHM" near "$fwhm" 1.44 0.04
check "CT value over the range" grep -q '^clipboard| ave.	' <<<"$out"

# d' (NPW, a 5 mm 10 HU disc) from the wire's 2D-FFT MTF and the water's
# radial NPS, on slice 10 of a noisy series and on its 3D-MORV result.
"$bin/phantom" --out "$work/dprime" --slices 20 --noise 10 --sigma 0.5 --wire-x 0.1 --wire-y -40 >/dev/null 2>&1 ||
  exit 1
measure() {  # SLOT: MTF and NPS of the slice shown into SLOT, then its d'
  printf '%s\n' "roi 206 124 100 100" "answer 0" "answer 250" "answer $1" "click FFT2DMTF" \
    "roi 192 192 128 128" "answer $1" "click NPSRF" \
    "answer 5" "answer 10" "answer $1" "answer $1" "answer 0" "click DPRIME" "print clipboard"
}
out=$(run <<EOS
file "$work/dprime/PH0001.dcm"
answer "$work/dprime/"
click DSORT
$(morv20)
set HS1 9
click SHOWMW
window CTPSFF
$(measure 1)
window CTDSPF
set HS1 29
window CTPSFF
$(measure 2)
EOS
)
check "d' run exits 0" test $? -eq 0
read -r original morv < <(grep -oE '^clipboard\| d.	[0-9.]+' <<<"$out" | awk -F'\t' '{printf "%s ", $2}')
echo "d' of slice 10: $original, of its 3D-MORV result: $morv"
check "d' of the slice ($original)" near "$original" 8.8 1.5
check "d' of its 3D-MORV result next to it ($morv)" awk -v v="$morv" 'BEGIN { exit !(v > 0) }'

finish
