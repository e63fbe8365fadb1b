#!/bin/bash
# Runs the Windows build once under Wine on one simulated machine and collects what it
# did.
#
#   run_scenario.sh [--expect DIR] [--keep] [--also ARG]... MACHINE.reg RESULTDIR [ARG...]
#
# MACHINE.reg is a machine file (REGEDIT4, or Version 5.00 in UTF-16LE or UTF-8). The run
# uses a copy of the base prefix of this test run (built on first use under ZP_WINE_WORK:
# a fresh prefix with the test driver's service and the decoy device of base_prefix.reg),
# imports the machine, starts a persistent wineserver, runs the exe with ARG... and
# writes into RESULTDIR:
#   stdout       the exe's standard output, byte for byte (CR LF line ends)
#   status       its exit status
#   stderr       everything Wine and the exe wrote to standard error
#   program.stderr  what the exe's own process wrote to standard error
#   registry.reg the program's keys after the run (UTF-8, LF): the driver's service key,
#                its event-log source, the COM port database and every device instance
#                the machine file names under Enum; sections sorted by path
#   driver.log   C:\zephynsim.log, the driver's lines of the event log (absent: empty)
#   stdout.2, status.2, stderr.2  the same of a second run of the exe, with the --also ARGs,
#                started at the same moment as the first
#   stderr.first-attempt  what Wine printed for a first attempt that ended in a harness
#                error (the server start, the import, the control device that never
#                appeared, Wine stopping the program, the export); such a run is tried
#                once more in a fresh prefix and says "retried after a harness error:
#                REASON" on standard error
# Before the program runs, the harness waits until the test driver's control device opens
# (not when the machine turns the control device off). Every wineserver the run starts is
# stopped. A run that failed (a second harness error, or with --expect a difference from
# DIR's files of the same names) keeps its prefix and says where; --keep keeps it always.
# Exit status: 0 when the run worked (and matched), 1 when it did not match, 2 on a
# harness error.
#
# Environment: ZP_WINE_EXE (default build/mingw/ZPConfigUtil.exe), ZP_WINE_FIXTURES (the
# output of build_fixtures.sh, default build/wine-fixtures), ZP_WINE_WORK (the test run's
# work folder, default ${TMPDIR:-/tmp}/zpwine-$UID; remove it when the test run is over),
# WINE_BIN (the folder of wine64, wine and wineserver, default /usr/lib/wine), ZP_WINE_ARCH
# (win64, the default, or win32: the prefix's Windows; the driver comes from the fixtures'
# x86 folder in a win32 prefix, the DLL doubles from it for a 32-bit exe), ZP_WINE_LOCALE
# (the locale of the scenario's Wine processes, where Wine takes its ANSI code page from:
# ja_JP.UTF-8 gives 932, hi_IN.UTF-8 65001; default C.UTF-8, 1252), ZP_WINE_CONSOLE (terminal:
# the exe runs with a console, its standard output and error on a pseudo-terminal, and stdout
# holds what the terminal got; a code page number: the exe runs from a console of that output
# code page, its standard output redirected to a file), ZP_WINE_HOLD (milliseconds: before
# the exe starts, hold_mutex.exe takes the program's run mutex and keeps it that long), and,
# for manual runs
# only, ZP_WINE_FAIL_FIRST (import, device or export: that step of the first attempt fails,
# to see the retry; hang: its device wait hangs until it is stopped) and ZP_WINE_STEP_SECONDS
# (default 60: how long a Wine step may take before it is stopped as a harness error).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${ZP_WINE_EXE:-$root/build/mingw/ZPConfigUtil.exe}
fixtures=${ZP_WINE_FIXTURES:-$root/build/wine-fixtures}
work=${ZP_WINE_WORK:-${TMPDIR:-/tmp}/zpwine-$(id -u)}
wine_bin=${WINE_BIN:-/usr/lib/wine}
export WINEDEBUG=-all WINEARCH=${ZP_WINE_ARCH:-win64} LC_ALL=C.UTF-8
base_overrides="mscoree,mshtml="

expect='' keep=0 also=()
while [ $# -gt 0 ]; do
  case $1 in
    --expect) expect=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --also) also+=("$2"); shift 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 2 ]; then
  sed -n '3,4p' "$0" | sed 's/^# *//' >&2
  exit 2
fi
machine=$1 results=$2
shift 2

fail() {
  echo "run_scenario: $*" >&2
  exit 2
}

# The prefix's own loader and the fixtures of its architecture; the exe's loader and DLL
# doubles by its architecture (a 32-bit exe in a 64-bit prefix runs under WOW64).
system_fixtures=$fixtures exe_fixtures=$fixtures loader=$wine_bin/wine64
[ "$WINEARCH" = win32 ] && system_fixtures=$fixtures/x86 loader=$wine_bin/wine
program_loader=$wine_bin/wine64
pe_machine=$(od -An -tx1 -j "$(od -An -tu4 -j 60 -N 4 "$exe" | tr -d ' ')" -N 6 "$exe" | tr -d ' ')
if [ "$pe_machine" = 504500004c01 ]; then
  exe_fixtures=$fixtures/x86 program_loader=$wine_bin/wine
fi
base=$work/base-$WINEARCH
wine_locale=C.UTF-8
# Every Wine step is bounded: one that hangs (a wineboot that crashed into the debugger, a
# server that never answers) is stopped after step_seconds, says so on standard error and
# fails like any failing step. timed_out then holds the words for the reason.
step_seconds=${ZP_WINE_STEP_SECONDS:-60} timed_out=
bounded() {
  local seconds=$1 status
  shift
  timeout -k 5 "$seconds" "$@"
  status=$?
  timed_out=
  if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    timed_out=" (stopped after $seconds s)"
    echo "run_scenario: stopped after $seconds s: $*" >&2
  fi
  return $status
}
wine() { bounded "$step_seconds" env LC_ALL="$wine_locale" "$loader" "$@"; }
server() { bounded "$step_seconds" env LC_ALL="$wine_locale" "$wine_bin/wineserver" "$@"; }

for file in "$exe" "$system_fixtures/zephyn.sys" "$system_fixtures/wait_device.exe" \
            "$system_fixtures/hold_mutex.exe" \
            "$exe_fixtures/msports.dll" "$exe_fixtures/cfgmgr32.dll" "$machine"; do
  [ -f "$file" ] || fail "missing $file"
done

# ---- The machine file as Wine imports it ---------------------------------------------

# The machine file as UTF-8 text with LF line ends, whatever its form.
machine_text() {
  local bom
  bom=$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')
  if [ "$bom" = fffe ]; then
    iconv -f UTF-16LE -t UTF-8 "$1" | sed '1s/^\xEF\xBB\xBF//; s/\r$//'
  elif head -c 8 "$1" | grep -q '^REGEDIT4'; then
    iconv -f WINDOWS-1252 -t UTF-8 "$1" | sed 's/\r$//'
  else
    sed '1s/^\xEF\xBB\xBF//; s/\r$//' "$1"
  fi
}

# What regedit reads faithfully: REGEDIT4 as it is, Version 5.00 as UTF-16LE with a BOM
# and CR LF (UTF-8 would double the hex(2) and hex(7) data).
importable_machine() {
  if head -c 8 "$1" | grep -q '^REGEDIT4'; then
    cp "$1" "$2"
  else
    { printf '\xff\xfe'; machine_text "$1" | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } > "$2"
  fi
}

# A knob the loaded driver cannot act out: without the control device, no driver.
wants_no_control_device() {
  machine_text "$1" | awk '
    /^\[/ { inside = (toupper($0) == "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEPHYNSIM\\DRIVER]") }
    inside && tolower($0) ~ /^"controldevice"=dword:0+$/ { found = 1 }
    END { exit found ? 0 : 1 }'
}

# Device instances (three parts below Enum) that the machine file names.
machine_instances() {
  machine_text "$1" |
    sed -n 's/^\[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\\([^]\\]*\\[^]\\]*\\[^]\\]*\).*\]$/\1/Ip' |
    sort -fu
}

# Registry text in one order: sections by path, values by name (the default value
# first), each compared upper-cased; continued lines joined; a blank line after each.
canonical_registry() {
  echo 'Windows Registry Editor Version 5.00'
  echo
  awk '
    /^\[/ { section = toupper(substr($0, 2, length($0) - 2)); print section "\t\t" $0; next }
    /^$/ { next }
    {
      line = $0
      while (line ~ /\\$/ && (getline next_line) > 0) {
        sub(/\\$/, "", line); sub(/^ +/, "", next_line); line = line next_line
      }
      name = "\001"
      if (match(line, /^"([^"\\]|\\.)*"=/)) name = toupper(substr(line, 1, RLENGTH))
      print section "\t" name "\t" line
    }' | LC_ALL=C sort -t "$(printf '\t')" -k1,1 -k2,2 -s | cut -f3- |
    awk 'NR > 1 && /^\[/ { print "" } { print } END { if (NR) print "" }'
}

# ---- The base prefix -----------------------------------------------------------------

stop_server() { server -k 2> /dev/null; server -w 2> /dev/null; }

# A new prefix's wineboot takes longer than a step: it has four steps' time. A step that
# fails stops the staging prefix's server, and the next scenario builds the base afresh.
build_base() {
  local staging=$base.staging
  rm -rf "$staging"
  mkdir -p "$staging"
  export WINEPREFIX=$staging
  step_seconds=$((step_seconds * 4)) WINEDLLOVERRIDES=$base_overrides wine wineboot -i \
    > "$base.log" 2>&1 || { stop_server; fail "wineboot failed, see $base.log"; }
  server -w
  [ -z "$timed_out" ] || { stop_server; fail "wineboot did not end, see $base.log"; }
  cp "$here/base_prefix.reg" "$staging/drive_c/base_prefix.reg"
  WINEDLLOVERRIDES=$base_overrides wine reg import 'C:\base_prefix.reg' >> "$base.log" 2>&1 ||
    { stop_server; fail "base_prefix.reg did not import, see $base.log"; }
  server -w
  [ -z "$timed_out" ] || { stop_server; fail "the base prefix's server did not end"; }
  rm "$staging/drive_c/base_prefix.reg"
  mv "$staging" "$base"
}

mkdir -p "$work" || fail "cannot create $work"
(
  flock 9
  [ -d "$base" ] || build_base
) 9> "$base.lock" || exit 2

# ---- One scenario --------------------------------------------------------------------

# The base prefix is made under C.UTF-8; the scenario's Wine processes run in its locale.
wine_locale=${ZP_WINE_LOCALE:-C.UTF-8}

# A fresh prefix from the base one, with the fixtures in place.
make_prefix() {
  prefix=$(mktemp -d "$work/scenario.XXXXXX") || fail "no scenario folder"
  rmdir "$prefix"
  # The large, never-written part of the prefix is shared by hard links; the registry
  # files, which the server replaces, are copies.
  cp -al "$base" "$prefix" || fail "cannot copy the base prefix"
  for hive in system.reg user.reg userdef.reg; do
    rm -f "$prefix/$hive"
    cp "$base/$hive" "$prefix/$hive"
  done
  rm -f "$prefix/drive_c/windows/system32/drivers/zephyn.sys"
  $control_device &&
    cp "$system_fixtures/zephyn.sys" "$prefix/drive_c/windows/system32/drivers/zephyn.sys"
  mkdir -p "$prefix/drive_c/zp"
  cp "$exe" "$exe_fixtures/msports.dll" "$exe_fixtures/cfgmgr32.dll" \
    "$system_fixtures/wait_device.exe" "$system_fixtures/hold_mutex.exe" "$prefix/drive_c/zp/"
  importable_machine "$machine" "$prefix/drive_c/machine.reg"
}

# Wine's reg; what it printed (on standard output, for its errors) joins RESULTDIR/stderr
# when it failed.
reg() {
  local status
  WINEDLLOVERRIDES=$base_overrides wine reg "$@" > "$prefix/reg.out" 2>> "$results/stderr"
  status=$?
  [ $status -eq 0 ] || cat "$prefix/reg.out" >> "$results/stderr"
  return $status
}

# For a manual run only: ZP_WINE_FAIL_FIRST=STEP makes that step of the first attempt fail
# as Wine would, to see the retry.
failing_first() { [ "$attempt" = 1 ] && [ "${ZP_WINE_FAIL_FIRST:-}" = "$1" ]; }

# One run of the exe with ARG...: RESULTDIR/stdout$1, status$1 and stderr$1. From a console
# (script gives it a pseudo-terminal) when ZP_WINE_CONSOLE says so.
run_program() {
  local suffix=$1 command
  shift
  command=(env LC_ALL="$wine_locale" "$program_loader")
  case ${ZP_WINE_CONSOLE:-} in
    '') command+=("$program" "$@") ;;
    terminal) command=(script -qec "stty cols 200; $(printf '%q ' "${command[@]}" "$program" "$@")"
                 /dev/null) ;;
    # cmd's own line: the program's arguments may hold neither blanks nor cmd's & < > |.
    *) command=(script -qec "$(printf '%q ' "${command[@]}" cmd /c \
         "chcp $ZP_WINE_CONSOLE >nul & $program $* > C:\\zp\\stdout$suffix 2> C:\\zp\\stderr$suffix")" \
         /dev/null) ;;
  esac
  SHELL=/bin/bash WINEDLLOVERRIDES="$base_overrides;cfgmgr32=n" timeout 120 "${command[@]}" \
    < /dev/null > "$results/stdout$suffix" 2> "$results/program.stderr$suffix"
  echo $? > "$results/status$suffix"
  cat "$results/program.stderr$suffix" >> "$results/stderr$suffix"
  if [[ ${ZP_WINE_CONSOLE:-terminal} != terminal ]]; then
    cp "$prefix/drive_c/zp/stdout$suffix" "$results/stdout$suffix"
    cp "$prefix/drive_c/zp/stderr$suffix" "$results/program.stderr$suffix"
  fi
}

# One attempt in the prefix; sets harness_error when the harness, not the program, failed.
# What Wine printed for each step goes to RESULTDIR/stderr.
run_once() {
  harness_error=
  server -p 2>> "$results/stderr" || harness_error="the wineserver did not start$timed_out"
  if [ -z "$harness_error" ]; then
    local source='C:\machine.reg'
    failing_first import && source='C:\no-such-machine.reg'
    reg import "$source" || harness_error="the machine file did not import$timed_out"
  fi
  if [ -z "$harness_error" ] && $control_device; then
    local probe=('C:\zp\wait_device.exe')
    failing_first device && probe=('C:\zp\no-such-helper.exe')
    failing_first hang && probe=(ping -n 3600 127.0.0.1)  # a Wine process that never ends
    WINEDLLOVERRIDES=$base_overrides wine "${probe[@]}" > /dev/null 2>> "$results/stderr" ||
      harness_error="the test driver's control device did not appear$timed_out"
  fi
  if [ -z "$harness_error" ] && [ -n "${ZP_WINE_HOLD:-}" ]; then
    bounded 120 env LC_ALL="$wine_locale" "$loader" 'C:\zp\hold_mutex.exe' "$ZP_WINE_HOLD" \
      > /dev/null 2>> "$results/stderr" &
    for _ in $(seq 200); do [ -f "$prefix/drive_c/zp/held" ] && break; sleep 0.05; done
    [ -f "$prefix/drive_c/zp/held" ] || harness_error="the run mutex was not taken"
  fi
  if [ -z "$harness_error" ]; then
    run_program '' "$@" &
    [ ${#also[@]} -eq 0 ] || run_program .2 "${also[@]}"
    wait
    # The driver's close of the last handle may still be on its way.
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      log=$prefix/drive_c/zephynsim.log
      [ ! -f "$log" ] || [ "$(grep -c '^open ' "$log")" = "$(grep -c '^close ' "$log")" ] && break
      sleep 0.05
    done
    if grep -qsE 'unimplemented function|Unhandled exception|could not load' "$results/stderr" \
      "$results/stderr.2"; then
      harness_error="Wine stopped the program, see $results/stderr"
    fi
  fi

  # The program's keys, and the machine's device instances, after the run: one export of
  # the control set, cut down to those keys and everything beneath them.
  if [ -z "$harness_error" ]; then
    {
      echo 'SYSTEM\CurrentControlSet\Services\ZephynPort'
      echo 'SYSTEM\CurrentControlSet\Services\EventLog\System\ZephynPort'
      echo 'SYSTEM\CurrentControlSet\Control\COM Name Arbiter'
      machine_instances "$machine" | sed 's/^/SYSTEM\\CurrentControlSet\\Enum\\/'
    } > "$prefix/drive_c/kept_keys.txt"
    local exported='HKLM\SYSTEM\CurrentControlSet'
    failing_first export && exported='HKLM\SYSTEM\NoSuchControlSet'
    if reg export "$exported" 'C:\export.reg' /y; then
      iconv -f UTF-16LE -t UTF-8 "$prefix/drive_c/export.reg" | sed '1s/^\xEF\xBB\xBF//; s/\r$//' |
        awk -v keys="$prefix/drive_c/kept_keys.txt" '
          BEGIN { while ((getline key < keys) > 0) kept["HKEY_LOCAL_MACHINE\\" toupper(key)] = 1 }
          /^\[/ {
            path = toupper(substr($0, 2, length($0) - 2)); keep = 0
            for (key in kept) if (path == key || index(path, key "\\") == 1) keep = 1
          }
          keep' | canonical_registry > "$results/registry.reg"
    else
      harness_error="the registry did not export$timed_out"
    fi
  fi
  stop_server
}

control_device=true
wants_no_control_device "$machine" && control_device=false
program="C:\\zp\\$(basename "$exe")"

# A harness error is the harness's hiccup, not a verdict on the program: the attempt's
# server is stopped, its prefix discarded, and the scenario runs once more from a fresh
# copy of the base prefix. A second harness error in a row is the run's result.
for attempt in 1 2; do
  make_prefix
  rm -rf "$results"
  mkdir -p "$results" || fail "cannot create $results"
  [ "$attempt" = 1 ] || printf '%s\n' "$first_stderr" > "$results/stderr.first-attempt"
  export WINEPREFIX=$prefix
  trap stop_server EXIT
  started=$(date +%s.%N)
  run_once "$@"
  trap - EXIT
  ended=$(date +%s.%N)
  if [ -z "$harness_error" ] || [ "$attempt" = 2 ]; then break; fi
  echo "run_scenario: retried after a harness error: $harness_error" >&2
  first_stderr=$(cat "$results/stderr")
  rm -rf "$prefix"
done

if [ -f "$prefix/drive_c/zephynsim.log" ]; then
  cp "$prefix/drive_c/zephynsim.log" "$results/driver.log"
else
  : > "$results/driver.log"
fi
awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.2f\n", b - a }' > "$results/seconds"

verdict=0
if [ -n "$harness_error" ]; then
  echo "run_scenario: $harness_error" >&2
  verdict=2
elif [ -n "$expect" ]; then
  for name in stdout status registry.reg driver.log; do
    [ -f "$expect/$name" ] || continue
    if ! diff -u "$expect/$name" "$results/$name" > "$results/$name.diff"; then
      echo "run_scenario: $name differs from $expect/$name:" >&2
      cat "$results/$name.diff" >&2
      verdict=1
    else
      rm -f "$results/$name.diff"
    fi
  done
fi
if [ $verdict -ne 0 ] || [ $keep -eq 1 ]; then
  echo "run_scenario: prefix kept in $prefix" >&2
else
  rm -rf "$prefix"
fi
exit $verdict
