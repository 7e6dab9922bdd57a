#!/usr/bin/env bash
# halvex --batch through "Evaluate" on a phantom series and its 3D-MORV
# result (slices 1-20 against 21-40): the answers of its dialog, the files it
# writes, the report shown with both series whose tables hold the numbers of
# results.json, the TTFs in the MTF store for "Compare_MTF", the summary on
# the clipboard.
# Usage: batch_evaluate.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
py=/usr/bin/python3
"$bin/phantom" --out "$work/series" --slices 20 --spacing 0.5 --noise 20 --seed 4 --inserts 300:14,-100:14 \
  >/dev/null || exit 1

out=$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
$(morv20)
answer 1
answer 20
answer 21-40
answer 8:-100
answer 40
answer "$work/eval"
click EVALBTN
window CTPSFF
print caption
print clipboard
answer 1,2
click COMPMTF
save canvas "$work/ttf.png"
EOS
)
check "run exits 0" test $? -eq 0
check "the report is opened" grep -qF "open \"$work/eval/report.html\"" <<<"$out"
for f in results.json curves.csv recipe.json report.html report.pdf; do
  check "writes $f" test -s "$work/eval/$f"
done
check "the caption says where the results are" grep -qE "Evaluate: done, [0-9]+ inserts; results in $work/eval\"" <<<"$out"
check "the clipboard has the summary and the comparison" grep -qE "slices 21-40 against slices 1-20: noise " <<<"$out"
check "results.json compares the 3D-MORV result with its input" "$py" - "$work/eval/results.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert r["series"]["slices"] == [1, 20] and r["other"]["series"]["slices"] == [21, 40]
c = r["comparison"]
assert c["noise_ratio"]["value"] < 0.9, c["noise_ratio"]   # 3D-MORV lowers the noise
assert len(c["ttf"]) == len(r["ttf"]) >= 2 and any(d["diameter_mm"] == 8 for d in c["dprime"])
PY
check "the report shows both series with the numbers of results.json" "$py" - "$work/eval/results.json" \
  "$work/eval/report.html" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
html = open(sys.argv[2], encoding="utf-8").read()
assert "Other against first:</b> noise" in html and "Series (other)" in html
for result in (r, r["other"]):
    for t in result["ttf"]:
        m = t["mtf50"]
        assert "%.3f [%.3f, %.3f]" % (m["value"], m["ci95"][0], m["ci95"][1]) in html, t["object"]
n = r["comparison"]["noise_ratio"]
assert "%.3f [%.3f, %.3f]" % (n["value"], n["ci95"][0], n["ci95"][1]) in html
PY
check "the TTFs are in the MTF store" grep -qE 'clipboard.*TTF \+300 HU' <<<"$(run <<EOS
file "$work/series/PH0001.dcm"
answer "$work/series/"
click DSORT
answer 1
answer 20
answer ""
answer ""
answer 0
answer "$work/eval2"
click EVALBTN
window CTPSFF
answer 1
click CLIPMTF
print clipboard
EOS
)"
check "Compare_MTF draws them" test -s "$work/ttf.png"

finish
