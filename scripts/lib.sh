# The scripts' shared library, sourced, never run: functions, and the two
# variables the stages keep.
#   source "$(dirname "$0")/lib.sh"
# Every script runs with `set -uo pipefail`; those that stop at the first
# failing command add -e on their own `set` line and say why.

TAMVOLO_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# rerun_under_xvfb SCREEN SCRIPT ARGS...: unless already there, runs SCRIPT
# again with ARGS on a virtual X server of its own with a screen of SCREEN
# (such as 1024x768x24); returns only when already there.
rerun_under_xvfb() {
  local screen=$1
  shift
  [ -n "${TAMVOLO_IN_XVFB:-}" ] && return 0
  TAMVOLO_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 $screen" "$@"
}

# running PID: the process is there and not just a zombie waiting for a
# parent to reap it (in a container the first process may never do so).
running() {
  local state
  kill -0 "$1" 2>/dev/null || return 1
  read -r _ _ state _ <"/proc/$1/stat" 2>/dev/null || return 1
  [ "$state" != Z ]
}

# stop_pid PID [TENTHS]: stops the process (woken first, should it be
# frozen), gives it TENTHS tenths of a second (50) to end, then kills it.
stop_pid() {
  local pid=$1 tenths=${2:-50}
  # Each may find the process gone; a script under -e goes on.
  kill -CONT "$pid" 2>/dev/null || true
  kill "$pid" 2>/dev/null || true
  for _ in $(seq "$tenths"); do running "$pid" || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  return 0
}

# stop_by_pid FILE [TENTHS]: stop_pid for the PID that FILE holds; removes
# FILE. Nothing to do without FILE.
stop_by_pid() {
  [ -f "$1" ] || return 0
  stop_pid "$(cat "$1")" "${2:-50}"
  rm -f "$1"
}

# wait_for_exit PID TENTHS: waits TENTHS tenths of a second at the most for
# the program (a child of this shell) to end; its exit code, or 124 when it
# is still running.
wait_for_exit() {
  local pid=$1 tenths=$2
  for _ in $(seq "$tenths"); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      return
    fi
    sleep 0.1
  done
  return 124
}

# read_env_lines VAR COMMAND...: the NAME=value lines COMMAND prints, into
# the array VAR, for `export "${VAR[@]}"` or `env "${VAR[@]}" ...`.
read_env_lines() {
  local -n into=$1
  shift
  mapfile -t into < <("$@")
}

# keep_sink_playing DIR ENV...: a silent stream, run with the client
# settings ENV (NAME=value words), that keeps the default sink running (an
# idle null sink sleeps for seconds at a time, holding up the first sound of
# every test), its PID in DIR/keepalive.pid; then waits until the sink has
# played something. False when the sink does not play.
keep_sink_playing() {
  local dir=$1
  shift
  env "$@" setsid pacat --playback --raw --format=float32le --rate=48000 --channels=2 \
    --latency-msec=40 --client-name=keepalive /dev/zero </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/keepalive.pid"
  head -c 9600 /dev/zero | env "$@" timeout 10 pacat --playback --raw --format=float32le \
    --rate=48000 --channels=2 --latency-msec=20 --client-name=warmup
}

# wait_for_window [NAME]: waits for the visible window titled NAME
# (Tamvolo's) and prints its id; fails after thirty seconds. One connection
# to the X server waits: a new one every few milliseconds, beside a program
# that is connecting, now and then makes Xvfb refuse the program.
wait_for_window() {
  local window
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^${1:-Tamvolo}\$" 2>/dev/null | head -n 1 || true)
  if [ -n "$window" ]; then
    echo "$window"
    return 0
  fi
  echo "the window ${1:-Tamvolo} did not appear" >&2
  return 1
}

# window_origin WINDOW: sets X and Y to the window's top-left corner.
window_origin() {
  local line
  while IFS= read -r line; do
    case $line in
      X=*) X=${line#X=} ;;
      Y=*) Y=${line#Y=} ;;
    esac
  done < <(xdotool getwindowgeometry --shell "$1")
}

# click_on PLACE [BUTTON] [WINDOW_NAME]: a click (button 1 unless told) on
# PLACE of the window named in tests/support/window-points.txt (main unless
# told), whose top-left corner window_origin put in X and Y.
click_on() {
  local place=$1 button=${2:-1} name=${3:-main} px py
  read -r px py < <(awk -v w="$name" -v p="$place" '$1 == w && $2 == p { print $3, $4 }' \
    "$TAMVOLO_TOP/tests/support/window-points.txt")
  [ -n "${px:-}" ] || { echo "no place $place on window $name" >&2; return 1; }
  xdotool mousemove $((X + px)) $((Y + py)) sleep 0.02 click "$button"
}

# server_action NAME ACTION: what the private sound server scripts do for
# ACTION, by their own functions start, stop and client_env (for `env`).
server_action() {
  case $2 in
    start) start ;;
    stop) stop ;;
    env) client_env ;;
    session) declare -F session >/dev/null && session ;;
    *) echo "$1: start, stop, env or session" >&2; return 2 ;;
  esac
}

# stage NAME COMMAND...: runs one stage of a test run, "== NAME ==" before
# it and its result and time after; both go into the summary, and a failure
# into stage_status (and its return).
stage_lines=()
stage_status=0
stage() {
  local name=$1 started=$SECONDS result=passed
  shift
  echo "== $name =="
  "$@" || { result=FAILED; stage_status=1; }
  local took=$((SECONDS - started))
  stage_lines+=("$(printf '%-42s %-7s %3d min %02d s' "$name" "$result" $((took / 60)) $((took % 60)))")
  echo "== $name: $result in $((took / 60)) min $((took % 60)) s"
  [ "$result" = passed ]
}

# stage_summary TITLE: the stages run so far, each with its result and time;
# returns 1 where one failed.
stage_summary() {
  echo
  echo "$1:"
  printf '  %s\n' "${stage_lines[@]}"
  [ "$stage_status" = 0 ] && echo "  all passed" || echo "  FAILED"
  return "$stage_status"
}
