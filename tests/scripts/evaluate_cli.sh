#!/usr/bin/env bash
# halvex evaluate from the command line: a phantom series evaluated into a
# folder (results.json read back by Python, curves.csv, recipe.json); the
# recipe rerun gives the same results but for their time, and names a file
# that changed; bad series, recipes and options end with one line and their
# exit status, and leave the output folder as it was.
# Usage: evaluate_cli.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
source "$(dirname "$0")/common.sh"
py=/usr/bin/python3
evaluate() { "$bin/halvex" evaluate --app-folder "$work/app" "$@"; }

"$bin/phantom" --out "$work/series" --slices 12 --noise 10 --seed 5 --inserts 300:14,-100:14 >/dev/null || exit 1

summary=$(evaluate "$work/series" --out "$work/out" --bootstrap 50 2>"$work/err")
check "evaluates: exit 0" test $? -eq 0
check "the summary has the TTF table" grep -q '^insert-1 .*\[' <<<"$summary"
check "and the noise" grep -q '^NPS: noise 1[0-9]\.[0-9][0-9] \[' <<<"$summary"
check "the three files" test -s "$work/out/results.json" -a -s "$work/out/curves.csv" -a -s "$work/out/recipe.json"
check "results.json holds the contract" "$py" - "$work/out/results.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert r["series"]["files"] == 12 and r["series"]["slices"] == [1, 12]
kinds = {o["kind"] for o in r["objects"]}
assert {"body", "uniform", "insert", "wire"} <= kinds, kinds
ttf = {t["object"]: t for t in r["ttf"]}
for t in ttf.values():
    lo, hi = t["mtf50"]["ci95"]
    assert lo <= t["mtf50"]["value"] <= hi
    assert len(t["curve"]["f"]) == len(t["curve"]["value"]) == len(t["curve"]["lo"]) == len(t["curve"]["hi"])
assert abs(r["nps"]["noise_hu"]["value"] - 10) < 0.5
assert r["wire_mtf"] is not None and r["dprime"] and {d["observer"] for d in r["dprime"]} == {"NPW", "NPWE"}
assert isinstance(r["warnings"], list)
PY
check "curves.csv has a row per point" test "$(grep -c '"ttf insert-1"' "$work/out/curves.csv")" -gt 20

# The report: one HTML file that parses, with every table and graph inline
# (no address outside the file), and a PDF of the same text.
check "report.html and report.pdf" test -s "$work/out/report.html" -a -s "$work/out/report.pdf"
check "the HTML parses, holds every section and only inline graphs" "$py" - "$work/out/report.html" <<'PY'
import sys
from html.parser import HTMLParser
class Check(HTMLParser):
    def __init__(self):
        super().__init__()
        self.stack, self.headings, self.images, self.text = [], [], [], []
    def handle_starttag(self, tag, attrs):
        if tag not in ("meta", "img", "br"):
            self.stack.append(tag)
        if tag == "img":
            self.images.append(dict(attrs)["src"])
    def handle_endtag(self, tag):
        assert self.stack and self.stack[-1] == tag, (tag, self.stack[-3:])
        self.stack.pop()
    def handle_data(self, data):
        if self.stack and self.stack[-1] == "h2":
            self.headings.append(data)
c = Check()
c.feed(open(sys.argv[1], encoding="utf-8").read())
assert not c.stack, c.stack
for h in ("Objects", "CT numbers", "Noise", "TTF of the inserts", "Wire MTF", "Slice sensitivity profile", "Detectability d'"):
    assert any(x.startswith(h) for x in c.headings), (h, c.headings)
assert len(c.images) == 6 and all(i.startswith("data:image/png;base64,") for i in c.images), len(c.images)
PY
pdf_text=$(pdftotext "$work/out/report.pdf" - 2>/dev/null)
check "the PDF has pages and the report's text" test "$(pdfinfo "$work/out/report.pdf" | awk '/^Pages:/ {print $2}')" -ge 3
for heading in "CT numbers" "TTF of the inserts" "Wire MTF" "Detectability d'"; do
  check "the PDF holds \"$heading\"" grep -qF "$heading" <<<"$pdf_text"
done
check "the report's tables hold the numbers of results.json" "$py" - "$work/out/results.json" "$work/out/report.html" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
html = open(sys.argv[2], encoding="utf-8").read()
for t in r["ttf"]:
    m = t["mtf50"]
    assert "%.3f [%.3f, %.3f]" % (m["value"], m["ci95"][0], m["ci95"][1]) in html, t["object"]
n = r["nps"]["noise_hu"]
assert "%.2f [%.2f, %.2f]" % (n["value"], n["ci95"][0], n["ci95"][1]) in html
PY

# A comparison with a series of half the noise: ratios with their intervals
# in results.json, the summary line in the report, both series' curves.
"$bin/phantom" --out "$work/half" --slices 12 --noise 5 --seed 6 --inserts 300:14,-100:14 >/dev/null || exit 1
summary=$(evaluate "$work/series" --compare "$work/half" --out "$work/compared" --bootstrap 50 2>/dev/null)
check "compares: exit 0 and the summary line" grep -q "against .*: noise .*50 %" <<<"$summary"
check "results.json gets the comparison" "$py" - "$work/compared/results.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
c = r["comparison"]
lo, hi = c["noise_ratio"]["ci95"]
assert abs(c["noise_ratio"]["value"] - 0.5) < 0.03 and lo <= c["noise_ratio"]["value"] <= hi
assert {t["object"] for t in c["ttf"]} == {t["object"] for t in r["ttf"]}
assert all("dprime_ratio" in d for d in c["dprime"]) and "f_av_shift" in c
assert r["other"]["series"]["files"] == 12
PY
check "the report says it" grep -q "Other against first:</b> noise" "$work/compared/report.html"
check "curves.csv has both series" test "$(cut -d, -f1 "$work/compared/curves.csv" | sort -u | wc -l)" -eq 3

# The recipe, run twice: the same results but for their time.
cp "$work/out/recipe.json" "$work/recipe.json"
evaluate "$work/series" --out "$work/again1" --recipe "$work/recipe.json" >/dev/null 2>&1
evaluate "$work/series" --out "$work/again2" --recipe "$work/recipe.json" >/dev/null 2>&1
check "a recipe's reruns are identical but for their time" \
  cmp <(grep -v '"created"' "$work/again1/results.json") <(grep -v '"created"' "$work/again2/results.json")
check "and measure what the first run did (whose warnings also tell what the finding left out)" "$py" - \
  "$work/out/results.json" "$work/again1/results.json" <<'PY'
import json, sys
a, b = (json.load(open(p)) for p in sys.argv[1:])
for r in (a, b):
    del r["created"], r["warnings"]
assert a == b
PY
cp -r "$work/series" "$work/changed"
printf 'x' >> "$work/changed/PH0003.dcm"
check "a file that changed is named" grep -q 'PH0003.dcm is not the file the recipe was made on' \
  <(evaluate "$work/changed" --out "$work/again3" --recipe "$work/recipe.json" 2>&1)

# Refusals: one line, the status, and the output folder untouched.
mkdir -p "$work/kept" "$work/empty"
echo "mine" > "$work/kept/notes.txt"
"$py" - "$work/series/PH0001.dcm" "$work/air" <<'PY'
import os, sys, pydicom
os.makedirs(sys.argv[2])
ds = pydicom.dcmread(sys.argv[1])
ds.PixelData = (bytes([24, 0]) * (512 * 512))  # -1000 HU with the intercept -1024
for k in range(3):
    ds.SliceLocation = k
    ds.save_as("%s/A%d.dcm" % (sys.argv[2], k))
PY
printf '{"objects": [' > "$work/bad-json.json"
printf '{"objects": [{"id": "x", "kind": "disc", "centre_px": [1, 1], "radius_mm": 3}]}' > "$work/bad-kind.json"
printf '{"parameters": {"bootstraps": 5}}' > "$work/bad-parameter.json"
printf '{"objects": [{"id": "i", "kind": "insert", "centre_px": [505, 250], "radius_mm": 6}]}' > "$work/outside.json"
refuses() {  # STATUS PATTERN ARGUMENTS...
  local status=$1 pattern=$2; shift 2
  local message
  message=$(evaluate "$@" --out "$work/kept" 2>&1 >/dev/null)
  local code=$?
  [ $code -eq "$status" ] && grep -q "$pattern" <<<"$message" && [ "$(ls -A "$work/kept")" = "notes.txt" ] ||
    { echo "  status $code: $message"; return 1; }
}
check "a missing series" refuses 2 "is neither a folder nor a file" "$work/missing"
check "an empty folder" refuses 2 "no slice could be read" "$work/empty"
check "no phantom body" refuses 2 "no phantom body" "$work/air"
check "a recipe that is not JSON" refuses 2 "is not JSON" "$work/series" --recipe "$work/bad-json.json"
check "an unknown kind" refuses 2 'unknown kind "disc"' "$work/series" --recipe "$work/bad-kind.json"
check "an unknown parameter" refuses 2 'unknown parameter "bootstraps"' "$work/series" --recipe "$work/bad-parameter.json"
check "an ROI outside the slice" refuses 2 "outside the 512 x 512 slice" "$work/series" --recipe "$work/outside.json"
mkdir -p "$work/short"
cp "$work/half"/PH000[1-9].dcm "$work/short/"
check "series of different lengths are refused" refuses 2 "the same number of slices" "$work/series" --compare "$work/short"
check "a range beyond the series" refuses 2 "lies beyond the 12 slices" "$work/series" --range 5-20
check "a reversed range is a usage error" refuses 1 "FIRST-LAST" "$work/series" --range 5-2
check "bad tasks are a usage error" refuses 1 "diameter mm : contrast HU" "$work/series" --tasks 5
check "no series is a usage error" refuses 1 "name the series"

finish
