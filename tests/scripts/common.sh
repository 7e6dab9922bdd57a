# What the scripted tests share. Sourced once `bin` (the build's program
# folder) is set: a work folder, removed at exit, holding a program folder
# with the shipped settings; halvex --batch reading its script from standard
# input; the count of passed and failed checks.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app"
cp "$bin/VOXIM.INI" "$bin/NFD.BMP" "$bin/PARAM.TXT" "$work/app/"

run() { "$bin/halvex" --batch - --app-folder "$work/app" 2>/dev/null; }

passed=0
failed=0
# check NAME COMMAND...: counts the command's success, names a failure.
check() {
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}
# near VALUE EXPECTED TOLERANCE: true when VALUE is a number that close.
near() { awk -v v="$1" -v e="$2" -v t="$3" 'BEGIN { exit !(v != "" && v - e <= t && e - v <= t) }'; }
# The script lines of a quick 3D-MORV run (window half-width 2) over slices
# 1 .. 20, confirmed.
morv20() { printf 'set WNTX 2\nanswer 1\nanswer 20\nanswer 0\nreply yes\nclick PROC2\n'; }
# The summary line; the script's status.
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
