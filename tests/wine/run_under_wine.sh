#!/usr/bin/env bash
# dfut.exe under Wine against the simulated device: Return on the focused
# "Update Device" runs a complete update on COM1, the device's flash then
# holds the carried image, and closing the window the way a window manager
# does ends the program with status 0. Leaves a screenshot of the idle window,
# the trace and the device's summary in WORK_DIR.
#
#   run_under_wine.sh WINDOWS_BUILD DFUT_SIM CLOSE_HELPER WORK_DIR PREFIX
#
# Exits 77 (skipped) when WINDOWS_BUILD holds no dfut.exe.
set -euo pipefail
# shellcheck source=wine_session.sh
source "$(dirname "$0")/wine_session.sh"

windows_build=$1
sim_program=$2
close_helper=$3
work=$4
prefix=$5

tool=$windows_build/dfut.exe
# The image that the Windows build embedded, as its resource step copied it.
image=$windows_build/resources/firmware.bin
if [[ ! -f $tool || ! -f $image ]]; then
  echo "skipped: no dfut.exe and firmware.bin in $windows_build; build it with" \
    "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake, or set DFUT_WINDOWS_BUILD_DIR"
  exit 77
fi

trace=$work/dfut_exe_trace.txt
summary=$work/device_summary.txt
flash=$work/device_flash.bin
expected=$work/expected_flash.bin
screenshot=$work/dfut_exe_idle_window.png
readonly last_trace_line="frame length    5 bytes received & OK"
readonly opening_line=' . Opening serial port \\.\com1 at 115200 baud'

fail() {
  echo "FAILED: $*" >&2
  if [[ -f $trace ]]; then
    echo "--- end of the trace:" >&2
    tail -n 15 "$trace" >&2
  fi
  exit 1
}

lap_started=$SECONDS
lap() {
  printf '%-34s %3d s\n' "$1" $((SECONDS - lap_started))
  lap_started=$SECONDS
}

trap stop_everything EXIT
mkdir -p "$work"
rm -f "$trace" "$summary" "$flash" "$expected"

start_display "$work" || fail "no X server"
use_prefix "$prefix" || fail "no Wine prefix"
lap "prefix ready"
start_device "$sim_program" "$summary" --flash-out "$flash" || fail "no simulated device"
start_wine_session || fail "no Wine session"
lap "session started"
start_tool "$tool" "$trace" || fail "dfut.exe showed no window"
# The image's size is traced last before the message loop starts.
wait_for 60 grep -q "Flash Image Size" "$trace" || fail "dfut.exe did not finish starting"
lap "window shown"

sleep 0.5 # let the window paint
save_screenshot "$screenshot" || fail "no screenshot"
focus_update_button || fail "could not focus the button"
sleep 0.5
if grep -qF "$opening_line" "$trace"; then
  fail "focusing the button pressed it"
fi
press_return || fail "could not press Return"
wait_for 300 grep -qF "$last_trace_line" "$trace" || fail "no complete update within 300 s of Return"
lap "update done"

status=0
close_window "$close_helper" || status=$?
((status == 0)) || fail "dfut.exe ended with status $status after its window was closed"
stop_device || fail "dfut-sim ended with an error"

runs=$(grep -cF "$opening_line" "$trace" || true)
((runs == 1)) || fail "$runs runs on \\\\.\\com1 instead of one"
grep -q "CRCs match" "$trace" || fail "the CRCs did not match"
# The device holds the image padded with zeros to whole 1024-byte blocks.
cp "$image" "$expected"
truncate -s %1024 "$expected"
cmp "$expected" "$flash" || fail "the device's flash differs from the image"

echo "flash equals the image ($(stat -c %s "$expected") bytes); screenshot $screenshot"
