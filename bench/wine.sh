#!/usr/bin/env bash
# Times the Windows build under Wine on the largest machine (64 boards of 64 ports):
# `ZPConfigUtil enum` beside Wine's own `reg query /s` of the same settings tree
# (Services\ZephynPort) and beside a process that starts and exits (`ZPConfigUtil help`).
# The machine is imported once into a prefix made by tests/wine/run_scenario.sh; then
# every round runs the three in turn against one persistent wineserver, and the table
# shows the medians over the rounds.
#
#   bench/wine.sh                 build with the mingw and native presets, then run
#   RUNS=15 bench/wine.sh         more rounds (default 9)
# MINGW_BUILD_DIR, NATIVE_BUILD_DIR and ZP_WINE_FIXTURES point at other build folders
# (used as they are); WINE_BIN is the folder of wine64 and wineserver (/usr/lib/wine).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-9}
wine_bin=${WINE_BIN:-/usr/lib/wine}
mingw=${MINGW_BUILD_DIR:-}
native=${NATIVE_BUILD_DIR:-}
fixtures=${ZP_WINE_FIXTURES:-$repo/build/wine-fixtures}

if [[ -z $mingw ]]; then
  mingw=$repo/build/mingw
  (cd "$repo" && cmake --preset mingw >/dev/null && cmake --build --preset mingw -j2 >/dev/null)
fi
if [[ -z $native ]]; then
  native=$repo/build/native
  (cd "$repo" && cmake --preset native >/dev/null &&
    cmake --build --preset native -j2 --target ZPConfigUtil-machine >/dev/null)
fi
[[ -f $fixtures/zephyn.sys ]] || sh "$repo/tests/wine/build_fixtures.sh" "$fixtures" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zp-wine-bench.XXXXXX")
export WINEPREFIX=
cleanup() {
  if [[ -n $WINEPREFIX ]]; then
    "$wine_bin/wineserver" -k 2>/dev/null || true
    "$wine_bin/wineserver" -w 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$native/ZPConfigUtil-machine" --start COM1 --board 64xpci:64 >"$work/machine.reg"
echo "importing the machine into a Wine prefix (takes a while)..." >&2
ZP_WINE_WORK=$work/wine ZP_WINE_EXE=$mingw/ZPConfigUtil.exe ZP_WINE_FIXTURES=$fixtures \
  "$repo/tests/wine/run_scenario.sh" --keep "$work/machine.reg" "$work/first" enum \
  2>"$work/scenario.err" || { cat "$work/scenario.err" >&2; exit 1; }
WINEPREFIX=$(sed -n 's/^run_scenario: prefix kept in //p' "$work/scenario.err")
[[ -d $WINEPREFIX ]] || { echo "bench/wine.sh: no prefix was kept" >&2; exit 1; }
export WINEDEBUG=-all WINEARCH=win64 LC_ALL=C.UTF-8
"$wine_bin/wineserver" -p

labels=("process start (help)" "ZPConfigUtil enum" "reg query /s (settings tree)")
# One run: appends "<microseconds> <peak KB>" to the label's samples.
timed_run() {
  local label=$1 start end overrides="mscoree,mshtml=;cfgmgr32=n"
  local -a args
  case $label in
    "process start (help)") args=('C:\zp\ZPConfigUtil.exe' help) ;;
    "ZPConfigUtil enum") args=('C:\zp\ZPConfigUtil.exe' enum) ;;
    *)
      args=(reg query 'HKLM\SYSTEM\CurrentControlSet\Services\ZephynPort' /s)
      overrides="mscoree,mshtml="
      ;;
  esac
  start=$(date +%s%N)
  WINEDLLOVERRIDES=$overrides /usr/bin/time -f %M -o "$work/peak" \
    "$wine_bin/wine64" "${args[@]}" >"$work/out" 2>/dev/null
  end=$(date +%s%N)
  echo "$(((end - start) / 1000)) $(cat "$work/peak") $(wc -l <"$work/out")" \
    >>"$work/samples.${label//[^A-Za-z0-9]/_}"
}

for ((round = 0; round < runs; ++round)); do
  for label in "${labels[@]}"; do timed_run "$label"; done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
column() { cut -d' ' -f"$2" "$work/samples.${1//[^A-Za-z0-9]/_}" | median; }

echo "Wine $("$wine_bin/wine64" --version 2>/dev/null); machine: 64 boards x 64 ports;" \
  "median of $runs rounds"
printf '%-30s %8s %8s %12s\n' run "wall ms" "peak MB" "output lines"
for label in "${labels[@]}"; do
  printf '%-30s %8s %8s %12s\n' "$label" \
    "$(awk -v us="$(column "$label" 1)" 'BEGIN { printf "%.1f", us / 1000 }')" \
    "$(awk -v kb="$(column "$label" 2)" 'BEGIN { printf "%.1f", kb / 1000 }')" \
    "$(column "$label" 3)"
done
enum=$(column "ZPConfigUtil enum" 1)
query=$(column "reg query /s (settings tree)" 1)
start=$(column "process start (help)" 1)
awk -v e="$enum" -v q="$query" -v s="$start" 'BEGIN {
  printf "enum / reg query: %.2f (less process start: %.2f)\n", e / q, (e - s) / (q - s) }'
