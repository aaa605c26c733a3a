# shellcheck shell=bash
# Sourced by the Wine end-to-end test and the Wine benchmark: a private X
# server, a Wine prefix whose COM1 leads to a simulated device, and dfut.exe
# run in that prefix and worked as an operator would. The caller puts
# stop_everything in its EXIT trap.

# Debian's wine64 package installs its loader and server here; the `wine`
# package, which only adds wrappers in PATH, is not needed.
readonly wine_loader=/usr/lib/wine/wine64
readonly wine_server=/usr/lib/wine/wineserver
readonly window_caption="Device Firmware Update Tool"

export WINEDEBUG=-all
# No prompts to install Mono or Gecko, and no menu entries written to $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

display_pid=""
device_pid=""
tool_pid=""
tool_window=""
com1_link=""

# Runs the command every 0.1 s until it succeeds; fails after $1 seconds.
wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Xvfb on a display number that it picks itself, so that runs in several
# build folders do not meet; exports DISPLAY.
start_display() {
  local number_file=$1/display_number
  rm -f "$number_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  display_pid=$!
  wait_for 30 grep -q '^[0-9]\+$' "$number_file" || {
    echo "Xvfb did not start" >&2
    return 1
  }
  DISPLAY=":$(head -n 1 "$number_file")"
  export DISPLAY
}

# Uses the prefix $1, made on first use and kept: making one takes tens of
# seconds and nothing a run does changes it. Its registry maps COM1 to a
# link inside it that each run points at its own device. Holds a lock on the
# prefix until the caller exits, so that the test and the benchmark of one
# build folder take turns.
use_prefix() {
  export WINEPREFIX=$1
  com1_link=$WINEPREFIX/dfut-com1
  local ready_mark=$WINEPREFIX/dfut-ready
  exec {prefix_lock}>"$WINEPREFIX.lock"
  flock -w 600 "$prefix_lock" || {
    echo "the Wine prefix $WINEPREFIX stayed locked for 600 s" >&2
    return 1
  }
  # A session left behind by an interrupted run.
  "$wine_server" -k 2>/dev/null || true
  if [[ "$(cat "$ready_mark" 2>/dev/null)" == "$com1_link" ]]; then
    return 0
  fi
  rm -rf "$WINEPREFIX"
  local log=$WINEPREFIX.log
  if ! timeout 300 "$wine_loader" wineboot -i >"$log" 2>&1 ||
    ! "$wine_loader" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$com1_link" /f >>"$log" 2>&1 ||
    ! timeout 60 "$wine_server" -w; then
    echo "could not make the Wine prefix $WINEPREFIX:" >&2
    tail -n 20 "$log" >&2
    return 1
  fi
  echo "$com1_link" >"$ready_mark"
}

# Starts dfut-sim ($1) with the options that follow $2, its pty linked as the
# prefix's COM1; its summary goes to the file $2.
start_device() {
  local program=$1 summary=$2
  shift 2
  rm -f "$com1_link"
  "$program" --link "$com1_link" "$@" >"$summary" &
  device_pid=$!
  wait_for 30 test -L "$com1_link" || {
    echo "dfut-sim made no port" >&2
    return 1
  }
}

# Stops the device, which then writes its summary and flash.
stop_device() {
  kill -TERM "$device_pid"
  local status=0
  wait "$device_pid" || status=$?
  device_pid=""
  return "$status"
}

com1_mapped() {
  [[ "$(readlink "$WINEPREFIX/dosdevices/com1")" == "$com1_link" ]]
}

# Starts the session in which the tool will run, with COM1 its only port
# that leads to a Unix device. The session's device manager maps the ports
# once, as the session starts: from the prefix's registry, and every
# /dev/ttyS*, ttyUSB* and ttyACM* that exists as the next free numbers. Those
# links are removed, so that no run reaches the machine's own serial ports;
# their numbers still open, as bare Wine devices, and the tool lists them
# after COM1. A persistent server keeps the device manager running between
# programs, so the links removed here stay removed.
start_wine_session() {
  # The server lists its objects as processes end: that goes to a log.
  "$wine_server" -p 2>"$WINEPREFIX.session.log"
  # The first program waits for the session's services, port mapping included.
  "$wine_loader" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >/dev/null
  wait_for 30 com1_mapped || {
    echo "Wine did not map COM1 to $com1_link" >&2
    return 1
  }
  local port
  for port in "$WINEPREFIX"/dosdevices/com*; do
    [[ $port == */com1 ]] || rm -f "$port"
  done
}

# Ends the session, and with it the tool if it still runs.
stop_wine_session() {
  "$wine_server" -k >/dev/null 2>&1 || true
  if [[ -n $tool_pid ]]; then
    wait "$tool_pid" 2>/dev/null || true
    tool_pid=""
  fi
}

# Starts dfut.exe ($1) with its trace going to $2 and waits for its window.
start_tool() {
  local program=$1 trace=$2
  "$wine_loader" "$program" >"$trace" 2>"$trace.stderr" &
  tool_pid=$!
  tool_window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$window_caption\$" 2>/dev/null | head -n 1)
  [[ -n $tool_window ]] || {
    echo "no window \"$window_caption\" within 60 s" >&2
    return 1
  }
}

# The window's pixel at the dialog unit x $1, y $2: the window is the
# template's 337 x 210 units, whatever font the units come from.
window_pixel() {
  local width height
  read -r width height < <(xdotool getwindowgeometry --shell "$tool_window" |
    sed -n 's/^WIDTH=//p; s/^HEIGHT=//p' | paste -s -d ' ')
  echo "$(($1 * width / 337)) $(($2 * height / 210))"
}

# Gives "Update Device" the keyboard focus without pressing it. The window
# has no dialog procedure, so at start-up no control holds the focus, and
# neither Tab nor a default button answers for it; a mouse press on the
# button that is released elsewhere focuses it and clicks nothing.
focus_update_button() {
  local on_button off_button
  on_button=$(window_pixel $((81 + 50)) $((68 + 7)))
  off_button=$(window_pixel $((81 + 50)) $((111 + 44)))
  # shellcheck disable=SC2086 # "x y"
  xdotool mousemove --window "$tool_window" --sync $on_button mousedown 1 \
    mousemove --window "$tool_window" --sync $off_button mouseup 1 2>/dev/null
}

press_return() {
  xdotool windowfocus --sync "$tool_window" key Return 2>/dev/null
}

# Whether the tool has exited (and waits to be reaped).
tool_ended() {
  local stat
  stat=$(cat "/proc/$tool_pid/stat" 2>/dev/null) || return 0
  stat=${stat##*) }
  [[ ${stat%% *} == Z ]]
}

# Closes the window as a window manager does, with the helper program $1 that
# sends WM_DELETE_WINDOW; returns the tool's exit status.
close_window() {
  "$1" "$tool_window" || return 1
  wait_for 60 tool_ended || {
    echo "dfut.exe still runs 60 s after its window was closed" >&2
    return 1
  }
  local status=0
  wait "$tool_pid" || status=$?
  tool_pid=""
  return "$status"
}

save_screenshot() {
  rm -f "$1"
  import -window "$tool_window" "$1"
}

# Stops the session, the device and the X server.
stop_everything() {
  if [[ -n ${WINEPREFIX:-} ]]; then
    stop_wine_session
  fi
  local pid
  for pid in "$device_pid" "$display_pid"; do
    if [[ -n $pid ]]; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
}
