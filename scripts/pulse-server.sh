#!/usr/bin/env bash
# A private PulseAudio sound server for tests and benchmarks, never the
# user's: its own runtime, config and home folders under DIR, a 48 kHz float
# stereo null sink "tamvolo_out" whose monitor "tamvolo_out.monitor" can be
# recorded, and the native protocol on DIR/native. It runs with real-time
# priority where allowed, as desktops give their sound server through rtkit.
# A silent stream keeps the sink running, as a sound card's sink runs: an idle
# null sink sleeps for up to two seconds at a time, which would hold up the
# first sound of every test by as much; the silence adds nothing to the mix.
#   scripts/pulse-server.sh start DIR    starts it, waits until it answers
#   scripts/pulse-server.sh stop DIR     stops it by its PID
#   scripts/pulse-server.sh env DIR      prints what a client needs to export
# Clients: PULSE_SERVER=unix:DIR/native PULSE_CLIENTCONFIG=DIR/client.conf
# With TAMVOLO_SERVER_SHARED=1 other users reach it too (the program run as a
# normal user, scripts/as-user.sh), as they reach a desktop's server.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
action=${1:?start, stop or env}
dir=$(realpath -m "${2:?folder}")

client_env() {
  echo "PULSE_SERVER=unix:$dir/native"
  echo "PULSE_CLIENTCONFIG=$dir/client.conf"
}

stop() {
  stop_by_pid "$dir/keepalive.pid"
  stop_by_pid "$dir/pid"
  return 0
}

start() {
  command -v pulseaudio >/dev/null || { echo "pulse-server: pulseaudio is not installed" >&2; return 1; }
  stop
  mkdir -p "$dir/runtime" "$dir/home"
  chmod 700 "$dir/runtime"
  printf 'autospawn = no\n' >"$dir/client.conf"
  rm -f "$dir/native"
  local client
  read_env_lines client client_env
  # The server leaves its own process group so that nothing sent to the
  # test's group reaches it; it is stopped by its PID alone.
  HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/home/.config" \
    PULSE_RUNTIME_PATH="$dir/runtime/pulse" PULSE_STATE_PATH="$dir/home/state" \
    setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
      --realtime=yes --high-priority=yes --log-target="file:$dir/log" --log-level="${TAMVOLO_PULSE_LOG_LEVEL:-warning}" \
      -L "module-null-sink sink_name=tamvolo_out rate=48000 format=float32le channels=2" \
      -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
      </dev/null >"$dir/out" 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 100); do
    if env "${client[@]}" pactl info >/dev/null 2>&1; then
      [ "${TAMVOLO_SERVER_SHARED:-}" = 1 ] && chmod 755 "$dir" && chmod 644 "$dir/client.conf"
      if keep_sink_playing "$dir" "${client[@]}"; then
        return 0
      fi
      echo "pulse-server: the sink did not play" >&2
      stop
      return 1
    fi
    kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "pulse-server: the server did not start; its log:" >&2
  cat "$dir/out" "$dir/log" >&2 2>/dev/null
  stop
  return 1
}

server_action pulse-server "$action"
