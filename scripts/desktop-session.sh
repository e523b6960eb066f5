#!/usr/bin/env bash
# A private X desktop for tests: an Xvfb server of its own (on a free
# display from :40 on), the openbox window manager and, when asked, a
# system tray (trayer, a panel at the top left) and a compositing manager
# (xcompmgr). Everything is started in the background and stopped by its PID.
# Or, with `wayland`, no window manager but the weston compositor, drawing
# its output into an X window of that server (its x11 backend: unlike the
# headless one, it takes input, so tests can press keys and drag through it).
#   scripts/desktop-session.sh start DIR [tray] [compositor] [wayland]
#   scripts/desktop-session.sh stop DIR
# Clients find the display in DIR/display (":N"); Wayland clients find
# WAYLAND_DISPLAY in DIR/wayland and XDG_RUNTIME_DIR in DIR/runtime.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
action=${1:?start or stop}
dir=$(realpath -m "${2:?folder}")
shift 2

stop() {
  local name
  for name in weston compositor tray wm xvfb; do
    stop_by_pid "$dir/$name.pid" 30
  done
  return 0
}

# wait_for WHAT COMMAND...: waits until COMMAND succeeds, for at most five
# seconds. (No grep -q in the checks: with pipefail, the writer it leaves
# behind fails the pipeline.)
wait_for() {
  local what=$1
  shift
  for _ in $(seq 50); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "desktop-session: $what did not come up" >&2
  return 1
}

# What wait_for waits for.
weston_up() { [ -S "$dir/runtime/wayland-tamvolo" ] && xwininfo -root -tree | grep 'Weston Compositor'; }
openbox_up() { xprop -root _NET_SUPPORTING_WM_CHECK | grep 'window id'; }
trayer_up() { xwininfo -root -tree | grep '"trayer"'; }

start() {
  local want_tray=no want_compositor=no want_wayland=no arg
  for arg in "$@"; do
    case $arg in
      tray) want_tray=yes ;;
      compositor) want_compositor=yes ;;
      wayland) want_wayland=yes ;;
    esac
  done
  for program in Xvfb openbox xprop; do
    command -v $program >/dev/null || { echo "desktop-session: $program is not installed" >&2; return 1; }
  done
  stop
  mkdir -p "$dir/home"
  rm -f "$dir/display"
  # A display of its own: the first number from 40 on whose socket nobody
  # holds, tried again further on if another server takes it meanwhile.
  local n=40 started=no
  while [ $n -lt 100 ] && [ $started = no ]; do
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || grep -q "/tmp/.X11-unix/X$n\$" /proc/net/unix; then
      n=$((n + 1))
      continue
    fi
    setsid Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    if DISPLAY=":$n" wait_for "Xvfb on :$n" xprop -root 2>/dev/null && kill -0 "$(cat "$dir/xvfb.pid")"; then
      started=yes
    else
      kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
      n=$((n + 1))
    fi
  done
  [ $started = yes ] || { echo "desktop-session: no X server came up" >&2; return 1; }
  echo ":$n" >"$dir/display"
  export DISPLAY=":$n"

  if [ $want_wayland = yes ]; then
    command -v weston >/dev/null || { echo "desktop-session: weston is not installed" >&2; return 1; }
    mkdir -p "$dir/runtime"
    chmod 700 "$dir/runtime"
    rm -f "$dir/runtime/wayland-tamvolo" "$dir/runtime/wayland-tamvolo.lock" "$dir/wayland"
    XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir/home" setsid weston --backend=x11-backend.so --socket=wayland-tamvolo \
      --width=1100 --height=700 --idle-time=0 --no-config >"$dir/weston.log" 2>&1 &
    echo $! >"$dir/weston.pid"
    if ! wait_for weston weston_up; then
      cat "$dir/weston.log" >&2
      return 1
    fi
    sleep 1 # its shell and panel
    echo wayland-tamvolo >"$dir/wayland"
    echo "wayland-tamvolo on $DISPLAY"
    return 0
  fi

  # openbox now and then finds a server that has just come up refusing it:
  # it is given three tries.
  local try
  for try in 1 2 3; do
    HOME="$dir/home" setsid openbox >"$dir/wm.log" 2>&1 &
    echo $! >"$dir/wm.pid"
    wait_for openbox openbox_up 2>/dev/null && break
    kill "$(cat "$dir/wm.pid")" 2>/dev/null
    if [ $try = 3 ]; then
      echo "desktop-session: openbox did not come up: $(cat "$dir/wm.log")" >&2
      return 1
    fi
  done

  if [ $want_tray = yes ]; then
    command -v trayer >/dev/null || { echo "desktop-session: trayer is not installed" >&2; return 1; }
    setsid trayer --edge top --align left --widthtype pixel --width 64 --heighttype pixel --height 32 \
      --SetDockType true --expand false --transparent false >"$dir/tray.log" 2>&1 &
    echo $! >"$dir/tray.pid"
    wait_for trayer trayer_up || return 1
    sleep 0.5 # it takes the tray selection as it maps its panel
  fi
  if [ $want_compositor = yes ]; then
    command -v xcompmgr >/dev/null || { echo "desktop-session: xcompmgr is not installed" >&2; return 1; }
    setsid xcompmgr >"$dir/compositor.log" 2>&1 &
    echo $! >"$dir/compositor.pid"
    sleep 0.5
  fi
  echo "desktop on $DISPLAY (tray: $want_tray, compositor: $want_compositor)"
}

case $action in
  start) start "$@" ;;
  stop) stop ;;
  *) echo "start or stop" >&2; exit 2 ;;
esac
