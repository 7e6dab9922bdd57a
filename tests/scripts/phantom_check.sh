#!/usr/bin/env bash
# Checks the phantom generator: small series in every file form must parse
# with dcmtk and pydicom, carry the header values asked for, decode to the
# same pixels in every form, be found by our own reader's byte search, and
# match values computed here independently from the phantom's geometry; the
# inserts and the correlated noise match their closed forms, and a series
# without them is the same, byte for byte, as before they existed.
# Usage: bash phantom_check.sh <bin-dir> <source-dir>
set -u
bin=${1:?usage: phantom_check.sh <bin-dir> <source-dir>}
phantom="$bin/phantom"
py=/usr/bin/python3  # Debian's pydicom and numpy belong to this interpreter

if [ ! -x "$phantom" ]; then echo "FAIL: $phantom not built"; exit 1; fi
if ! command -v dcmdump >/dev/null; then echo "FAIL: dcmdump not found; install dcmtk"; exit 1; fi
if ! "$py" -c "import pydicom, numpy" 2>/dev/null; then
  echo "FAIL: $py cannot import pydicom and numpy; install python3-pydicom python3-numpy"; exit 1
fi

tmp=$(mktemp -d /tmp/phantom_check.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0
result() {  # result NAME STATUS
  if [ "$2" -eq 0 ]; then echo "PASS $1"; passed=$((passed + 1)); else echo "FAIL $1"; failed=$((failed + 1)); fi
}

# Three noise-free slices, the disc on the middle one (z = -7.5).
header=(--kernel KERN5 --kvp 135 --ma 310 --mas 155 --exposure-time 750 --ctdivol 7.25 --series 7
        --patient "DOE^JANE" --thickness 2.5 --dfov 250 --sigma 0.4)
clean=(--slices 3 --start -10 --spacing 2.5 --noise 0 "${header[@]}")
for form in implicit explicit bigendian multiframe raw; do
  "$phantom" --out "$tmp/$form" --form "$form" "${clean[@]}" >/dev/null 2>"$tmp/$form.err"
  result "generate $form" $?
done
noisy=(--slices 2 --start 30 --spacing -1.25 --noise 20 --seed 7 "${header[@]}")
"$phantom" --out "$tmp/noisy" "${noisy[@]}" >/dev/null && "$phantom" --out "$tmp/noisy2" "${noisy[@]}" >/dev/null
result "generate noisy series twice" $?
"$phantom" --out "$tmp/seed8" "${noisy[@]}" --seed 8 >/dev/null
result "generate with another seed" $?

cmp -s "$tmp/noisy/PH0001.dcm" "$tmp/noisy2/PH0001.dcm" && cmp -s "$tmp/noisy/PH0002.dcm" "$tmp/noisy2/PH0002.dcm"
result "same options give the same files" $?
"$phantom" --help | grep -q -- "--form" && ! "$phantom" --out "$tmp/bad" --form tiff 2>/dev/null
result "--help prints usage, a bad option fails" $?
# The series written before inserts and correlated noise existed, byte for
# byte: options that are not given must change nothing.
(cd "$tmp/noisy" && sha256sum -c --quiet - <<'SUMS'
39530386a8062f1b3d21e639dd96f9d01a792701163a2b0b3f61aaf4a28176e5  PH0001.dcm
f4de42853955167a2e4b62905fb58d54052e851785bdee42e376112e2d6497f0  PH0002.dcm
29fc4a91a2686440d62f200e820f0b3f42c77b303bd91c439361c4905b311e5b  phantom_truth.txt
SUMS
)
result "the default series is unchanged" $?
inserts=(--inserts 300:12,-100:15,50:20 --slices 2 --dfov 250 --sigma 0.4)
"$phantom" --out "$tmp/inserts" "${inserts[@]}" --noise 0 >/dev/null &&
  "$phantom" --out "$tmp/corr" --slices 2 --noise 20 --noise-corr 1.5 --seed 5 >/dev/null
result "generate inserts, and correlated noise" $?
help=$("$phantom" --help)
grep -q -- "--inserts C:D" <<<"$help" && grep -q -- "--noise-corr SIGMA_PX" <<<"$help" &&
  ! "$phantom" --out "$tmp/bad" --inserts 300:60,100:60,50:60,0:60 2>/dev/null &&
  ! "$phantom" --out "$tmp/bad" --inserts 300:130 2>/dev/null && ! "$phantom" --out "$tmp/bad" --inserts 300 2>/dev/null &&
  ! "$phantom" --out "$tmp/bad" --noise-corr 0 2>/dev/null
result "--help lists inserts and correlated noise; overlapping, outside or malformed inserts fail" $?

# dcmtk: every file parses without complaint, the values read back, and
# every element length is even.
for form in implicit explicit bigendian multiframe; do
  ok=0
  for f in "$tmp/$form"/*.dcm; do
    dump=$(dcmdump +E "$f" 2>"$tmp/dcmdump.err") || ok=1
    [ -s "$tmp/dcmdump.err" ] && { cat "$tmp/dcmdump.err"; ok=1; }
    for want in '(0018,1210) SH \[KERN5\]' '(0018,9345) FD 7.25 ' '(0018,0050) DS \[2.5\]' \
                '(0018,1100) DS \[250\]' '(0028,1052) DS \[-1024\]' '(0028,0030) DS \[0.48828125\\0.48828125\]'; do
      grep -q "$want" <<<"$dump" || { echo "  $f: no $want"; ok=1; }
    done
    odd=$(grep -oE '# +[0-9]+,' <<<"$dump" | grep -oE '[0-9]+' | awk '$1 % 2 == 1' | head -1)
    [ -z "$odd" ] || { echo "  $f: odd element length $odd"; ok=1; }
  done
  result "dcmdump reads the $form files" $ok
done

# pydicom and numpy, plus an emulation of our reader's tag search.
"$py" - "$tmp" <<'EOF'
import math, os, re, sys
import numpy as np
import pydicom

tmp = sys.argv[1]
counts = [0, 0]
def check(name, ok, detail=""):
    counts[0 if ok else 1] += 1
    print(("PASS " if ok else "FAIL ") + name + ("" if ok else "  " + detail))

def truth(folder):
    t = {}
    for line in open(os.path.join(folder, "phantom_truth.txt")):
        k, _, v = line.partition(" = ")
        t[k.strip()] = v.strip()
    return t

def nums(text):
    return [float(x) for x in re.findall(r"-?[0-9.]+(?:e-?[0-9]+)?", text.split("(")[0])]

p = 250 / 512
zs = [-10.0, -7.5, -5.0]
def dcm(form, k=1):
    return os.path.join(tmp, form, "PH%04d.dcm" % k)

# --- header values through pydicom ---------------------------------------
syntax = {"implicit": "1.2.840.10008.1.2", "explicit": "1.2.840.10008.1.2.1",
          "bigendian": "1.2.840.10008.1.2.2", "multiframe": "1.2.840.10008.1.2"}
pixels = {}
for form, ts in syntax.items():
    problems = []
    files = 1 if form == "multiframe" else 3
    frames = []
    for k in range(1, files + 1):
        ds = pydicom.dcmread(dcm(form, k))
        want = {"SliceThickness": 2.5, "KVP": 135, "ReconstructionDiameter": 250, "ConvolutionKernel": "KERN5",
                "SeriesNumber": 7, "RescaleIntercept": -1024, "RescaleSlope": 1, "PatientName": "DOE^JANE",
                "XRayTubeCurrent": 310, "Exposure": 155, "ExposureTime": 750, "Rows": 512, "Columns": 512,
                "PixelSpacing": [p, p], "Modality": "CT", "SOPClassUID": "1.2.840.10008.5.1.4.1.1.2",
                "BitsAllocated": 16, "BitsStored": 16, "HighBit": 15, "PixelRepresentation": 1,
                "SamplesPerPixel": 1, "PhotometricInterpretation": "MONOCHROME2"}
        for key, value in want.items():
            got = ds.get(key)
            if got is None or (list(got) if key == "PixelSpacing" else got) != value:
                problems.append("%s %s=%r" % (os.path.basename(dcm(form, k)), key, got))
        if ds.file_meta.TransferSyntaxUID != ts: problems.append("transfer syntax " + ds.file_meta.TransferSyntaxUID)
        if ds.file_meta.MediaStorageSOPInstanceUID != ds.SOPInstanceUID: problems.append("meta SOP instance differs")
        ctdi = ds["CTDIvol"]
        if ctdi.VR != "FD" or ctdi.value != 7.25: problems.append("CTDIvol %s %r" % (ctdi.VR, ctdi.value))
        if form == "multiframe":
            if int(ds.NumberOfFrames) != 3: problems.append("frames %s" % ds.NumberOfFrames)
            got = [float(f.PlanePositionSequence[0].ImagePositionPatient[2]) for f in ds.PerFrameFunctionalGroupsSequence]
            if got != zs: problems.append("frame z %r" % got)
            if "ImagePositionPatient" in ds: problems.append("top-level Image Position in a multi-frame file")
            arr = ds.pixel_array
            if arr.shape != (3, 512, 512): problems.append("shape %r" % (arr.shape,))
            frames = list(arr)
        else:
            if ds.InstanceNumber != k: problems.append("instance %s" % ds.InstanceNumber)
            ipp = [float(v) for v in ds.ImagePositionPatient]
            if ipp != [-255.5 * p, -255.5 * p, zs[k - 1]] or float(ds.SliceLocation) != zs[k - 1]:
                problems.append("position %r / %r" % (ipp, ds.SliceLocation))
            arr = ds.pixel_array
            if arr.shape != (512, 512) or arr.dtype.kind != "i" or arr.dtype.itemsize != 2: problems.append("array %r %s" % (arr.shape, arr.dtype))
            frames.append(arr)
    pixels[form] = np.array(frames)
    check("pydicom reads the %s files with the header values asked for" % form, not problems, "; ".join(problems))

# --- the file meta group: group length and UIDs ---------------------------
problems = []
uids = set()
for form in syntax:
    for k in range(1, (1 if form == "multiframe" else 3) + 1):
        raw = open(dcm(form, k), "rb").read()
        if raw[:128] != bytes(128) or raw[128:132] != b"DICM": problems.append("preamble")
        pos, total = 132 + 12, 0
        while raw[pos:pos + 2] == b"\x02\x00":
            vr = raw[pos + 4:pos + 6]
            if vr in (b"OB", b"OW", b"SQ", b"UN", b"UT"):
                n, head = int.from_bytes(raw[pos + 8:pos + 12], "little"), 12
            else:
                n, head = int.from_bytes(raw[pos + 6:pos + 8], "little"), 8
            total += head + n
            pos += head + n
        if int.from_bytes(raw[140:144], "little") != total: problems.append("group length")
        ds = pydicom.dcmread(dcm(form, k))
        for uid in (ds.SOPInstanceUID, ds.StudyInstanceUID, ds.SeriesInstanceUID, ds.FrameOfReferenceUID):
            if len(uid) > 64 or not re.fullmatch(r"(0|[1-9][0-9]*)(\.(0|[1-9][0-9]*))*", uid): problems.append("uid " + uid)
        uids.add(ds.SOPInstanceUID)
check("meta group length, preamble and UIDs are valid, instance UIDs unique", not problems and len(uids) == 10,
      "; ".join(problems))

series = {pydicom.dcmread(dcm("implicit", k)).SeriesInstanceUID for k in (1, 2, 3)}
seed8 = pydicom.dcmread(os.path.join(tmp, "seed8", "PH0001.dcm"))
noisy = pydicom.dcmread(os.path.join(tmp, "noisy", "PH0001.dcm"))
check("one series UID per series, another seed gives other UIDs and pixels",
      len(series) == 1 and seed8.SeriesInstanceUID != noisy.SeriesInstanceUID
      and not np.array_equal(seed8.pixel_array, noisy.pixel_array))

# --- every form holds the same pixels -------------------------------------
ref = pixels["implicit"]
for form in ("explicit", "bigendian", "multiframe"):
    check("%s pixels equal the implicit ones" % form, np.array_equal(pixels[form], ref))
rawk = np.array([np.fromfile(os.path.join(tmp, "raw", "PH%04d.raw" % k), dtype="<i2") for k in (1, 2, 3)])
check("raw slices hold round(HU): stored - 1024", rawk.shape == (3, 262144)
      and np.array_equal(rawk.reshape(3, 512, 512), ref.astype(np.int32) - 1024))

# --- our reader's byte search finds what it needs --------------------------
def tagposi(buf, key, start, limit):
    pos = start
    while pos <= limit:
        if int.from_bytes(buf[pos:pos + 4], "little") == key: return pos
        pos += 2
    return pos

def key(t): return int(t[4:8], 16) * 65536 + int(t[0:4], 16)

def tagstr(buf, t, mode, start=128, limit=9900):
    pos = tagposi(buf, key(t), start, limit)
    if pos > limit: return "", pos
    n = int.from_bytes(buf[pos + 4:pos + 8], "little") if mode == 0 else int.from_bytes(buf[pos + 6:pos + 8], "little")
    v = buf[pos + 8:pos + 8 + n]
    if v and v[-1:] in (b" ", b"\0"): v = v[:-1]
    return v.decode("latin-1"), pos + 8

def vrmode(buf):
    ts = tagstr(buf, "00020010", 1)[0]
    return {"1.2.840.10008.1.2": 0, "1.2.840.10008.1.2.1": 1}.get(ts, 2)

def pixpos(buf, mode, first, second):
    pos = tagposi(buf, 0x00107FE0, 128, first)
    if pos > first: return 0, 0
    n = int.from_bytes(buf[pos + 4 + 4 * mode:pos + 8 + 4 * mode], "little")
    if n > 65299: return pos + 8 + 4 * mode, n
    q = tagposi(buf, 0x00107FE0, pos + 8 + 4 * mode, second)
    if q > second: return 0, 0
    return q + 8 + 4 * mode, int.from_bytes(buf[q + 4 + 4 * mode:q + 8 + 4 * mode], "little")

problems = []
for form, mode in (("implicit", 0), ("explicit", 1)):
    for k in (1, 2, 3):
        raw = open(dcm(form, k), "rb").read()
        buf = raw[:70000].ljust(70004, b"\0")
        if not 40000 <= len(raw) <= 700000 or not 400000 <= len(raw) <= 600000: problems.append("size %d" % len(raw))
        if vrmode(buf) != mode: problems.append("%s mode %d" % (form, vrmode(buf)))
        got = {t: tagstr(buf, t, mode)[0] for t in ("00100010", "00180050", "00180060", "00181100", "00181150",
                                                      "00181151", "00181152", "00181210", "00200011", "00201041",
                                                      "00280030", "00281052")}
        want = {"00100010": "DOE^JANE", "00180050": "2.5", "00180060": "135", "00181100": "250", "00181150": "750",
                "00181151": "310", "00181152": "155", "00181210": "KERN5", "00200011": "7", "00201041": "%g" % zs[k - 1],
                "00280030": "0.48828125\\0.48828125", "00281052": "-1024"}
        if got != want: problems.append("%s %r" % (form, {t: v for t, v in got.items() if v != want[t]}))
        z = tagstr(buf, "00200032", mode)[0].split("\\")
        if len(z) != 3 or float(z[2]) != zs[k - 1]: problems.append("position %r" % z)
        pos = tagposi(buf, key("00189345"), 128, 9900)
        n = int.from_bytes(buf[pos + 4:pos + 8], "little") if mode == 0 else int.from_bytes(buf[pos + 6:pos + 8], "little")
        if n != 8 or round(np.frombuffer(buf[pos + 8:pos + 16], "<f8")[0] * 1000) != 7250: problems.append("CTDIvol")
        offset, length = pixpos(buf, mode, 9900, 9900)
        if offset != len(raw) - 524288 or length != 524288: problems.append("pixel offset %d length %d" % (offset, length))
raw = open(dcm("bigendian"), "rb").read()
if vrmode(raw[:70000]) != 2: problems.append("big endian not mode 2")
raw = open(dcm("multiframe"), "rb").read()
buf = raw[:450001].ljust(450005, b"\0")
offset, length = pixpos(buf, 0, 450000, 100000)
if offset != len(raw) - 3 * 524288 or round(length / 524288) != 3: problems.append("multi-frame pixels %d" % offset)
cursor, frame_z = 128, []
for _ in range(3):
    text, cursor = tagstr(buf, "00200032", 0, cursor, 450000)
    frame_z.append(float(text.split("\\")[2]) if text else None)
if frame_z != zs: problems.append("frame positions %r" % frame_z)
if tagstr(buf, "00181210", 0)[0] != "KERN5" or tagstr(buf, "00281052", 0)[0] != "-1024": problems.append("multi header")
check("our reader's tag search decodes every form it supports", not problems, "; ".join(problems))

# --- pixel values against an independent computation ----------------------
t = truth(os.path.join(tmp, "implicit"))
s = 0.4
sz = 2.5 / (2 * math.sqrt(2 * math.log(2)))
Phi = lambda x: 0.5 * math.erfc(-x / math.sqrt(2))
clean = ref.astype(np.float64)
mid = clean[1]

roi = clean[0][206:306, 206:306]
check("noise-free water ROI mean is 1024 +- 0.5", abs(roi.mean() - 1024) <= 0.5, "mean %.3f" % roi.mean())
square = mid[128:385, 128:385]
check("the central 256-pixel square is plain water on the disc slice", np.all(square == 1024),
      "range %g..%g" % (square.min(), square.max()))
check("truth file lists the form, DFOV, pixel size and slice positions",
      t.get("form") == "implicit" and float(t["dfov_mm"]) == 250 and float(t["pixel_size_mm"]) == p
      and nums(t["slice_z_mm"]) == zs and float(t["disc_z_mm"]) == -7.5 and float(t["noise_sd_hu"]) == 0)

def px_to_mm(col, row): return (col - 255.5) * p, (row - 255.5) * p

# Wire: 2D midpoint sum of the Gaussian over the wire's disk, polar grid.
wc, wr = nums(t["wire_centre_px"]), float(t["wire_diameter_mm"]) / 2
col, row = int(round(wc[0])), int(round(wc[1]))
peak = np.unravel_index(np.argmax(mid[row - 5:row + 6, col - 5:col + 6]), (11, 11))
wx, wy = px_to_mm(*wc)
ok = abs(peak[0] - 5) <= 1 and abs(peak[1] - 5) <= 1
for c, r in ((col, row), (col + 1, row), (col, row - 2)):
    x, y = px_to_mm(c, r)
    rho = (np.arange(400) + 0.5) * wr / 400
    ang = (np.arange(720) + 0.5) * 2 * math.pi / 720
    R, A = np.meshgrid(rho, ang)
    d2 = (wx + R * np.cos(A) - x) ** 2 + (wy + R * np.sin(A) - y) ** 2
    frac = np.sum(np.exp(-d2 / (2 * s * s)) * R) * (wr / 400) * (2 * math.pi / 720) / (2 * math.pi * s * s)
    want = 1024 + float(t["wire_contrast_hu"]) * frac
    ok = ok and abs(mid[r, c] - want) <= 0.5 + 1e-3
check("wire pixels match the blurred wire (within rounding)", ok)

# Rod rim: 1D integral across the disk with the exact normal CDF along y.
rc, rr = nums(t["rod_centre_px"]), float(t["rod_diameter_mm"]) / 2
cx, cy = px_to_mm(*rc)
ok = mid[int(round(rc[1])), int(round(rc[0]))] == 1024 + 300
for c in range(int(rc[0] + rr / p) - 3, int(rc[0] + rr / p) + 4):
    x, y = px_to_mm(c, 250)
    th = (np.arange(20000) + 0.5) * math.pi / 20000 - math.pi / 2
    u, h = rr * np.sin(th), rr * np.cos(th)
    inside = np.array([Phi((hh - (y - cy)) / s) - Phi((-hh - (y - cy)) / s) for hh in h])
    frac = np.sum(np.exp(-(u - (x - cx)) ** 2 / (2 * s * s)) / (s * math.sqrt(2 * math.pi)) * h * inside) * math.pi / 20000
    ok = ok and abs(mid[250, c] - (1024 + 300 * frac)) <= 0.5 + 1e-3
check("rod centre is +300 HU and its rim matches the blurred disk", ok)

# Block: near the middle of its left edge only that edge matters, so the
# value is 100 Phi(d / s) with d the distance to the tilted edge line.
e0, shift = float(t["block_left_edge_col_at_centre_row"]), float(t["block_left_edge_col_shift_per_row"])
cos_a = 1 / math.sqrt(1 + shift * shift)
ok = True
for r in range(245, 267, 3):
    edge = e0 + shift * (r - 255.5)
    for c in range(int(edge) - 3, int(edge) + 4):
        want = 1024 + 100 * Phi((c - edge) * p * cos_a / s)
        ok = ok and abs(mid[r, c] - want) <= 0.5 + 1e-9
check("tilted block edge matches 100 Phi(distance / sigma)", ok and abs(shift + math.tan(math.radians(3))) < 1e-9)

# Disc: a 0.5 mm slab under the z Gaussian, seen inside the disc.
dc = nums(t["disc_centre_px"])
dcol, drow = int(round(dc[0])), int(round(dc[1]))
want = [1024 + 1000 * (Phi((-7.25 - z) / sz) - Phi((-7.75 - z) / sz)) for z in zs]
got = [clean[k][drow, dcol] for k in range(3)]
check("disc centre follows the slab under the z blur", all(abs(g - w) <= 0.5 + 1e-9 for g, w in zip(got, want)),
      "got %r want %r" % (got, want))

# --- noise ---------------------------------------------------------------
ok, detail = True, []
for k, z in ((1, 30.0), (2, 28.75)):
    ds = pydicom.dcmread(os.path.join(tmp, "noisy", "PH%04d.dcm" % k))
    roi = ds.pixel_array[206:306, 206:306].astype(np.float64)
    detail.append("sd %.3f mean %.3f" % (roi.std(ddof=1), roi.mean()))
    ok = ok and abs(roi.std(ddof=1) - 20) <= 1.0 and abs(roi.mean() - 1024) <= 1.0 and float(ds.SliceLocation) == z
check("noise SD in the water ROI is within 5% of 20 HU, descending positions", ok, "; ".join(detail))

# --- inserts and correlated noise ----------------------------------------
t = truth(os.path.join(tmp, "inserts"))
ins = pydicom.dcmread(os.path.join(tmp, "inserts", "PH0001.dcm")).pixel_array.astype(np.float64)
want = [(300, 12), (-100, 15), (50, 20)]
problems = []
if t.get("insert_count") != "3": problems.append("count %r" % t.get("insert_count"))
for k, (c, d) in enumerate(want):
    a = math.radians(45 + 120 * k)
    x, y = 40 * math.cos(a), 40 * math.sin(a)
    key = "insert_%d_" % (k + 1)
    got_mm, got_px = nums(t.get(key + "centre_mm", "")), nums(t.get(key + "centre_px", ""))
    if len(got_mm) != 2 or max(abs(got_mm[0] - x), abs(got_mm[1] - y)) > 1e-9: problems.append(key + "mm %r" % got_mm)
    col, row = x / p + 255.5, y / p + 255.5
    if len(got_px) != 2 or max(abs(got_px[0] - col), abs(got_px[1] - row)) > 1e-9: problems.append(key + "px %r" % got_px)
    if float(t.get(key + "diameter_mm", "nan")) != d or float(t.get(key + "contrast_hu", "nan")) != c:
        problems.append(key + "size or contrast")
    # Inside, well away from the blurred rim, the value is water plus the contrast.
    core = ins[int(round(row)) - 3:int(round(row)) + 4, int(round(col)) - 3:int(round(col)) + 4]
    if not np.all(core == 1024 + c): problems.append(key + "pixels %g..%g" % (core.min(), core.max()))
check("inserts sit at 45 + 120 k degrees on the 40 mm circle with their size and contrast", not problems,
      "; ".join(problems))

t = truth(os.path.join(tmp, "corr"))
s_n, sd = 1.5, 20.0
r = math.ceil(4 * s_n)
g = np.exp(-np.arange(-r, r + 1) ** 2 / (2 * s_n * s_n))
g /= math.sqrt(np.sum(g * g))
ok = (int(t.get("noise_corr_radius_px", -1)) == r
      and abs(float(t.get("noise_nps_at_zero_hu2mm2", "nan")) / (sd * sd * p * p * np.sum(g) ** 4) - 1) < 1e-9
      and abs(float(t.get("noise_nps_gaussian_a_hu2mm2", "nan")) / (sd * sd * p * p * 4 * math.pi * s_n * s_n) - 1) < 1e-9
      and abs(float(t.get("noise_nps_gaussian_b_mm2", "nan")) / (4 * math.pi ** 2 * s_n * s_n * p * p) - 1) < 1e-9
      and float(nums(t.get("noise_nps_gaussian_max_deviation", "1"))[0]) < 0.01)
check("the truth file states the correlated noise's kernel and NPS", ok)
# Noise blurred by a Gaussian of s pixels (squares summing to 1) keeps its SD
# and has the autocorrelation exp(-lag^2 / (4 s^2)) along the rows.
noise = np.array([pydicom.dcmread(os.path.join(tmp, "corr", "PH%04d.dcm" % k)).pixel_array[128:384, 128:384]
                  for k in (1, 2)]).astype(np.float64) - 1024
rho = [np.mean(noise[:, :, :-lag] * noise[:, :, lag:]) / np.mean(noise * noise) for lag in (1, 2)]
check("correlated noise keeps its SD and has the Gaussian autocorrelation",
      abs(noise.std() - sd) <= 0.4 and all(abs(v - math.exp(-lag * lag / (4 * s_n * s_n))) < 0.02
                                           for lag, v in zip((1, 2), rho)),
      "sd %.2f rho %s" % (noise.std(), ["%.3f" % v for v in rho]))

print("python checks: %d passed, %d failed" % tuple(counts))
sys.exit(1 if counts[1] else 0)
EOF
py_status=$?
echo "shell checks: $passed passed, $failed failed"
[ $failed -eq 0 ] && [ $py_status -eq 0 ]
