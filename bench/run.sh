#!/usr/bin/env bash
# Times ZPConfigUtil on the largest machine it handles (64 boards of 64 ports, written by
# ZPConfigUtil-machine) and prints one table: per command the median wall time over RUNS
# rounds, the median peak resident memory, the registry calls of a run (from the
# machine's event log), and the program's own share of the time once process start and
# machine file I/O are taken off.
#
# Process start is timed with `ZPConfigUtil help` (it never opens the machine); machine
# file I/O with bench/machine_io, which locks, reads and parses the same machine file
# through the simulation's own reader (and with "write" writes it back through its
# writer), then exits: its time holds a process start too. The program's own work in a
# round is therefore the command's time less that round's machine_io time (the writing
# one when the command changed the file). Every round times everything once, in turn,
# each run on a fresh copy of the machine, so that load from elsewhere falls on all
# figures alike; the medians are over the rounds.
#
#   bench/run.sh                          build with the native preset (build/native), run
#   BUILD_DIR=/some/dir bench/run.sh      use (and configure if needed) another build folder
#   RUNS=25 bench/run.sh                  more rounds (default 15)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-15}
targets=(ZPConfigUtil ZPConfigUtil-machine machine_io)

if [[ -z "${BUILD_DIR:-}" ]]; then
  build=$repo/build/native
  (cd "$repo" && cmake --preset native >/dev/null &&
    cmake --build --preset native -j2 --target "${targets[@]}" >/dev/null)
else
  build=$BUILD_DIR
  if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
fi
if [[ ! -x /usr/bin/time ]]; then
  echo "bench/run.sh: /usr/bin/time is missing (apt-get install time)" >&2
  exit 1
fi

program=$build/ZPConfigUtil
machine_io=$build/bench/machine_io
work=$(mktemp -d "${TMPDIR:-/tmp}/zp-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Every COM number held: the boards' ports take COM1 to COM4096.
"$build/ZPConfigUtil-machine" --start COM1 --board 64xpci:64 >"$work/source.reg"
export ZPCONFIG_MACHINE=$work/machine.reg

labels=("process start (help)" "machine_io read" "machine_io read + write back"
  "enum" "get 63" "get COM1023" "set 63 -scan=20" "set COM1023 -allports -wait=on"
  "set 0 -start=COM100")
command_line() {
  case $1 in
    "process start (help)") echo "$program help" ;;
    "machine_io read") echo "$machine_io read" ;;
    "machine_io read + write back") echo "$machine_io write" ;;
    *) echo "$program $1" ;;
  esac
}

# One run from a fresh copy of the machine; appends "<microseconds> <peak KB>" to the
# label's samples and leaves the machine and its log as the run left them.
timed_run() {
  local label=$1 start end
  local -a args
  read -r -a args <<<"$(command_line "$label")"
  cp "$work/source.reg" "$ZPCONFIG_MACHINE"
  rm -f "$ZPCONFIG_MACHINE.log"
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/peak" "${args[@]}" >/dev/null
  end=$(date +%s%N)
  echo "$(((end - start) / 1000)) $(cat "$work/peak")" >>"$work/samples.${label//[^A-Za-z0-9]/_}"
}

declare -A calls writes
for ((round = 0; round < runs; ++round)); do
  for label in "${labels[@]}"; do
    timed_run "$label"
    if ((round == 0)); then
      calls[$label]=-
      if [[ -f $ZPCONFIG_MACHINE.log ]]; then
        calls[$label]=$(sed -n 's/^end registry-calls=//p' "$ZPCONFIG_MACHINE.log" | tail -1)
      fi
      if cmp -s "$work/source.reg" "$ZPCONFIG_MACHINE"; then writes[$label]=no; else writes[$label]=yes; fi
    fi
  done
done

samples() { cut -d' ' -f"$2" "$work/samples.${1//[^A-Za-z0-9]/_}"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'; }

echo "machine: 64 boards x 64 ports ($(wc -c <"$work/source.reg") bytes of .reg text);" \
  "median of $runs rounds"
printf '%-32s %8s %8s %9s %6s %8s %6s\n' command "wall ms" "peak MB" "reg calls" writes \
  "own ms" "own %"
for label in "${labels[@]}"; do
  wall=$(samples "$label" 1 | median)
  peak=$(samples "$label" 2 | median)
  case $label in
    "process start (help)" | machine_io*)
      printf '%-32s %8s %8s\n' "$label" "$(ms "$wall")" "$(ms "$peak")"
      continue
      ;;
  esac
  io_label="machine_io read"
  [[ ${writes[$label]} == yes ]] && io_label="machine_io read + write back"
  # The program's own work, round by round: the run less the machine file's own run.
  own=$(paste -d' ' <(samples "$label" 1) <(samples "$io_label" 1) | awk '{ print $1 - $2 }' | median)
  printf '%-32s %8s %8s %9s %6s %8s %6s\n' "$label" "$(ms "$wall")" "$(ms "$peak")" \
    "${calls[$label]}" "${writes[$label]}" "$(ms "$own")" \
    "$(awk -v o="$own" -v w="$wall" 'BEGIN { printf "%.0f", 100 * o / w }')"
done
