#!/usr/bin/env bash
# A full update of the carried image on a simulated line paced at 115200 8E1
# with 2 ms flash write per block (dfut-sim --pace --flash-ms 2): dfut.exe
# under Wine, from Return on "Update Device" to the trace's last line, beside
# dfut-cli on the same line, from its start to the same line, and both beside
# the wire time of the bytes that the device received and sent. Prints
# figures; never fails on time.
#
#   bench/wine_update.sh [LINUX_BUILD [WINDOWS_BUILD [RUNS]]]
#
# LINUX_BUILD (default build) has dfut-sim, dfut-cli and bench/wire_time;
# WINDOWS_BUILD (default build-win) has dfut.exe. Shares LINUX_BUILD's Wine
# prefix with the Wine test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/wine/wine_session.sh
source "$here/../tests/wine/wine_session.sh"

linux_build=$(realpath "${1:-$here/../build}")
windows_build=$(realpath "${2:-$here/../build-win}")
runs=${3:-1}

sim_program=$linux_build/dfut-sim
cli_program=$linux_build/dfut-cli
wire_time=$linux_build/bench/wire_time
tool=$windows_build/dfut.exe
for program in "$sim_program" "$cli_program" "$wire_time" "$tool"; do
  [[ -f $program ]] || {
    echo "wine_update: no $program; build both trees first" >&2
    exit 2
  }
done

readonly line_options=(--pace --flash-ms 2)
readonly last_trace_line="frame length    5 bytes received & OK"
work=$linux_build/bench/wine_update
mkdir -p "$work"

# Each line of standard input with the time it came in (seconds since the
# epoch) in front; without the carriage return of a Windows program's lines.
stamp_lines() {
  local line
  while IFS= read -r line; do
    printf '%s %s\n' "$EPOCHREALTIME" "${line%$'\r'}"
  done
}

# The time stamp of the trace's last line in the stamped trace $1.
last_line_time() {
  grep -F "$last_trace_line" "$1" | tail -n 1 | cut -d ' ' -f 1
}

# The mean time between block acknowledgements in the stamped trace $1, in ms.
block_interval_ms() {
  awk '/- OK$/ { if (n++) total += $1 - last; last = $1 } END { printf "%.2f", (n > 1 ? 1e3 * total / (n - 1) : 0) }' "$1"
}

seconds_between() {
  awk -v from="$1" -v to="$2" 'BEGIN { printf "%.6f", to - from }'
}

# "SECONDS BYTES" on the wire, from the device summary $1.
wire_of() {
  "$wire_time" <"$1"
}

# One run of dfut.exe; sets result to its seconds, the wire seconds and
# bytes, and the milliseconds per block.
run_tool() {
  local summary=$work/dfut_exe_device.txt stamped=$work/dfut_exe_trace.txt fifo=$work/dfut_exe_trace.fifo
  start_device "$sim_program" "$summary" "${line_options[@]}"
  start_wine_session
  rm -f "$fifo" "$stamped"
  mkfifo "$fifo"
  stamp_lines <"$fifo" >"$stamped" &
  local stamper=$!
  start_tool "$tool" "$fifo"
  wait_for 60 grep -q "Flash Image Size" "$stamped"
  focus_update_button
  local pressed=$EPOCHREALTIME
  press_return
  wait_for 600 grep -qF "$last_trace_line" "$stamped" || {
    echo "wine_update: dfut.exe did not complete within 600 s" >&2
    return 1
  }
  local done_at
  done_at=$(last_line_time "$stamped")
  stop_wine_session
  wait "$stamper"
  stop_device
  read -r -a result <<<"$(seconds_between "$pressed" "$done_at") $(wire_of "$summary") $(block_interval_ms "$stamped")"
}

# One run of dfut-cli; sets result as run_tool does.
run_cli() {
  local summary=$work/dfut_cli_device.txt stamped=$work/dfut_cli_trace.txt
  start_device "$sim_program" "$summary" "${line_options[@]}"
  local started=$EPOCHREALTIME
  "$cli_program" "$com1_link" | stamp_lines >"$stamped" || {
    echo "wine_update: dfut-cli failed" >&2
    return 1
  }
  stop_device
  read -r -a result <<<"$(seconds_between "$started" "$(last_line_time "$stamped")") $(wire_of "$summary") $(block_interval_ms "$stamped")"
}

trap stop_everything EXIT
start_display "$work"
use_prefix "$linux_build/wine-prefix"

printf 'full update, device paced at 115200 8E1 (11 bits a character), 2 ms flash write per block\n'
printf '  %-4s %-20s %9s %9s %7s %9s %s\n' run program time wire ratio "per block" "bytes on the wire"
row() {
  printf '  %-4s %-20s %8.3fs %8.3fs %7.3f %6.2f ms %s\n' "$1" "$2" "$3" "$4" \
    "$(awk -v t="$3" -v w="$4" 'BEGIN { print t / w }')" "$6" "$5"
}
for ((run = 1; run <= runs; ++run)); do
  run_tool
  exe_figures=("${result[@]}")
  run_cli
  cli_figures=("${result[@]}")
  row "$run" "dfut.exe under Wine" "${exe_figures[@]}"
  row "" "dfut-cli" "${cli_figures[@]}"
  printf '  %-4s %-20s %9.3f      target at most 1.03\n' "" "dfut.exe / dfut-cli" \
    "$(awk -v a="${exe_figures[0]}" -v b="${cli_figures[0]}" 'BEGIN { print a / b }')"
done
printf 'wire per block: %.2f ms (a block and its acknowledgement), plus 2 ms flash write\n' \
  "$(awk 'BEGIN { print 1e3 * (1024 + 11 + 11) * 11 / 115200 }')"
printf 'dfut.exe: from Return to the trace line "%s";\n' "$last_trace_line"
printf 'dfut-cli: from its start to the same line.\n'
