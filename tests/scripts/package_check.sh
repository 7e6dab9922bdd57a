#!/usr/bin/env bash
# The Debian package: its dependencies; unpacked into a temporary root, the
# installed halvex starts headless, finds its own libraries and decoder
# helper, runs a demo
# script on a phantom series and keeps its settings in the XDG data folder;
# the desktop entry, metainfo and manual page validate; a program built
# against the installed lumvek header and pkg-config file runs. As root, on a
# machine without halvex installed, it also installs the package with dpkg
# and checks that removing it leaves nothing behind.
# Usage: package_check.sh BIN_DIR PACKAGE.deb
set -u
bin=$1
deb=$2
source "$(dirname "$0")/common.sh"
root="$work/root"
dpkg -x "$deb" "$root" || exit 1
libdir=$(dirname "$(find "$root/usr/lib" -name liblumvek.so | head -1)")

depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6gui6 libfftw3-single3 libpng16-16 qt6-qpa-plugins; do
  check "depends on $d" grep -q "$d" <<<"$depends"
done

installed="$root/usr/bin/halvex"
version=$("$bin/halvex" --version)
check "installed --version ($version)" test "$("$installed" --version)" = "$version"
check "links the installed spectrel" grep -q "$root.*libspectrel.so" <<<"$(ldd "$installed")"

"$bin/phantom" --out "$work/series" --slices 3 --noise 10 --seed 5 >/dev/null || exit 1
# The third slice compressed: the installed decoder helper must be found.
dcmcjpls "$work/series/PH0003.dcm" "$work/series/PH0003.ls" && mv "$work/series/PH0003.ls" "$work/series/PH0003.dcm"
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
out=$(cd / && HOME="$work/home" XDG_DATA_HOME="$work/xdg" XDG_RUNTIME_DIR="$work/runtime" "$installed" --batch - \
      2>"$work/err" <<EOS
drop "$work/series/PH0001.dcm" "$work/series/PH0002.dcm" "$work/series/PH0003.dcm"
click ROIS 1
roi 200 300 60 60
print caption
print slices
print roi
save view "$work/view.png"
EOS
)
check "demo script exits 0" test $? -eq 0
check "no error output" test ! -s "$work/err"
check "caption with the version" grep -qF "TessamirBasic ver.$version: CTDSP" <<<"$out"
check "three slices" grep -qF 'slices 3 current 1' <<<"$out"
check "one decoded by the installed helper" grep -qF "source \"$work/series/PH0003.dcm\"" <<<"$out"
read -r mean sd < <(grep -oE 'result "ave [-0-9.]+ sd [0-9.]+' <<<"$out" | awk '{print $3, $5}')
check "ROI mean of water ($mean)" near "$mean" 0 1
check "ROI SD of the noise ($sd)" near "$sd" 10 0.5
check "settings seeded into the XDG folder" cmp -s "$work/xdg/halvex/VOXIM.INI" "$root/usr/share/halvex/VOXIM.INI"
check "stack file in the XDG folder" test -f "$work/xdg/halvex/ATEMP"
check "nothing written beside the executable" test "$(ls "$root/usr/bin")" = halvex
size=$(stat -c %s "$work/view.png")
check "saved view is compressed ($size bytes)" test "$size" -lt 200000

share="$root/usr/share"
check "desktop entry validates" desktop-file-validate "$share/applications/org.halvex.halvex.desktop"
check "metainfo validates" appstreamcli validate --no-net --pedantic "$share/metainfo/org.halvex.halvex.metainfo.xml"
manual=$(MANWIDTH=80 man --warnings -l "$share/man/man1/halvex.1.gz" 2>&1 >/dev/null)
check "manual page renders without warnings" test -z "$manual"

cat > "$work/client.cpp" <<'CPP'
#include <lumvek/lumvek.h>
#include <cstdio>
int main() {
    int16_t a[4] = {1, 2, 3, 4};
    var2clr(a, 7, 4);
    std::printf("%d %d\n", a[0], a[3]);
}
CPP
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --define-variable=prefix="$root/usr" --cflags --libs lumvek)
# shellcheck disable=SC2086
check "a client builds with pkg-config" g++ -std=c++17 "$work/client.cpp" $flags -o "$work/client"
check "the client runs on the installed library" test "$(LD_LIBRARY_PATH="$libdir" "$work/client")" = "7 7"

if [ "$(id -u)" -eq 0 ] && ! dpkg -s halvex >/dev/null 2>&1; then
  trap 'dpkg --purge halvex >/dev/null 2>&1; rm -rf "$work"' EXIT
  files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
  check "dpkg installs the package" dpkg -i "$deb" >/dev/null
  check "installed system-wide" test "$(cd / && halvex --version)" = "$version"
  check "dpkg removes it" dpkg --purge halvex >/dev/null
  left=$(for f in $files; do [ -e "$f" ] && echo "$f"; done)
  check "nothing left behind ($left)" test -z "$left"
fi
finish
