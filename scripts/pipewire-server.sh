#!/usr/bin/env bash
# A private PipeWire server for tests and benchmarks, never the user's: the
# pipewire daemon, the wireplumber session manager (its device monitors off:
# no sound card, camera or Bluetooth is touched) and pipewire-pulse, each with
# runtime, config and state folders under DIR, and a session bus of their own. A 48 kHz float stereo null
# sink "tamvolo_out", the default sink, whose monitor "tamvolo_out.monitor"
# can be recorded; a silent stream keeps the graph running, as a desktop's
# sound card does. The graph's quantum starts at 256 frames, as on a desktop;
# MIN_QUANTUM sets the smallest one the graph allows (32 on a desktop, 1024
# where Debian's settings for a virtual machine apply); without it,
# $TAMVOLO_PIPEWIRE_MIN_QUANTUM, or 32.
#   scripts/pipewire-server.sh start DIR [MIN_QUANTUM]  starts it, waits until it plays
#   scripts/pipewire-server.sh stop DIR                 stops it by its PIDs
#   scripts/pipewire-server.sh env DIR                  what a client exports
#   scripts/pipewire-server.sh session DIR              starts a session manager kept back
# As a login still starting has it: with TAMVOLO_PIPEWIRE_SESSION=later, start
# leaves the session manager out (nothing links a stream, no sink plays) and
# returns once the daemon answers; `session` starts it later and waits until
# the sink plays. With TAMVOLO_PIPEWIRE_SINK=none the graph has no sink.
# With TAMVOLO_SERVER_SHARED=1 other users reach it too (the program run as a
# normal user, scripts/as-user.sh), as they reach a desktop's server.
# Clients: PULSE_SERVER=unix:DIR/native (a link to pipewire-pulse's socket)
# and, for PipeWire's own protocol, PIPEWIRE_RUNTIME_DIR=DIR/runtime.
# DIR/pid is the pipewire daemon's, the whole server (its clients, and
# pipewire-pulse with them, lose it when it goes), as scripts/pulse-server.sh
# leaves its server's there: tests that kill or freeze "the server" run on
# either.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
action=${1:?start, stop or env}
dir=$(realpath -m "${2:?folder}")
min_quantum=${3:-${TAMVOLO_PIPEWIRE_MIN_QUANTUM:-32}}

client_env() {
  echo "PULSE_SERVER=unix:$dir/native"
  echo "PULSE_CLIENTCONFIG=$dir/client.conf"
  echo "PIPEWIRE_RUNTIME_DIR=$dir/runtime"
}

# Waits until the default sink plays, as a client sees it (keep_sink_playing).
wait_until_playing() {
  local client tries=0
  read_env_lines client client_env
  for _ in $(seq 100); do
    if env "${client[@]}" pactl info 2>/dev/null | grep -q 'Default Sink: tamvolo_out'; then
      if keep_sink_playing "$dir" "${client[@]}"; then
        return 0
      fi
      # Just after the sink is announced, the session manager may not link a
      # stream yet (pacat: "Input/Output error"): a few more tries.
      stop_by_pid "$dir/keepalive.pid"
      tries=$((tries + 1))
      if [ "$tries" -ge 5 ]; then
        echo "pipewire-server: the sink did not play" >&2
        break
      fi
      sleep 0.3
      continue
    fi
    for name in pipewire wireplumber pipewire-pulse; do
      kill -0 "$(cat "$dir/$name.pid")" 2>/dev/null || break 2
    done
    sleep 0.1
  done
  echo "pipewire-server: the server did not start; its logs:" >&2
  for name in pipewire wireplumber pipewire-pulse; do tail -n 20 "$dir/$name.log" >&2; done
  stop
  return 1
}

session() {
  daemon wireplumber wireplumber
  wait_until_playing
}

stop() {
  local name
  rm -f "$dir/pid"
  for name in keepalive pipewire-pulse wireplumber pipewire dbus; do
    stop_by_pid "$dir/$name.pid"
  done
  return 0
}

# Starts "$@" as daemon NAME in its own session, output to DIR/NAME.log.
daemon() {
  local name=$1
  shift
  env HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" PIPEWIRE_RUNTIME_DIR="$dir/runtime" \
    XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/runtime/bus" \
    PULSE_RUNTIME_PATH="$dir/runtime/pulse" setsid "$@" </dev/null >"$dir/$name.log" 2>&1 &
  echo $! >"$dir/$name.pid"
}

start() {
  local tool
  for tool in pipewire wireplumber pipewire-pulse pactl pacat dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "pipewire-server: $tool is not installed" >&2; return 1; }
  done
  stop
  rm -rf "$dir/runtime" "$dir/config"
  mkdir -p "$dir/runtime" "$dir/home" "$dir/state" "$dir/config/pipewire/pipewire.conf.d" \
    "$dir/config/wireplumber/main.lua.d" "$dir/config/wireplumber/bluetooth.lua.d"
  chmod 700 "$dir/runtime"
  printf 'autospawn = no\n' >"$dir/client.conf"
  cat >"$dir/config/pipewire/pipewire.conf.d/tamvolo.conf" <<CONF
context.properties = {
    default.clock.rate        = 48000
    default.clock.quantum     = 256
    default.clock.min-quantum = $min_quantum
    default.clock.max-quantum = 2048
    vm.overrides = { default.clock.min-quantum = $min_quantum }
}
context.objects = [
CONF
  [ "${TAMVOLO_PIPEWIRE_SINK:-}" = none ] || cat >>"$dir/config/pipewire/pipewire.conf.d/tamvolo.conf" <<CONF
    { factory = adapter
        args = {
            factory.name     = support.null-audio-sink
            node.name        = tamvolo_out
            node.description = "Tamvolo test sink"
            media.class      = Audio/Sink
            object.linger    = true
            audio.format     = F32
            audio.rate       = 48000
            audio.channels   = 2
            audio.position   = [ FL FR ]
            priority.session = 2000
            priority.driver  = 2000
        }
    }
CONF
  echo "]" >>"$dir/config/pipewire/pipewire.conf.d/tamvolo.conf"
  local monitor
  for monitor in alsa v4l2 libcamera; do
    echo "${monitor}_monitor.enabled = false" >>"$dir/config/wireplumber/main.lua.d/99-tamvolo.lua"
  done
  echo "bluez_monitor.enabled = false" >"$dir/config/wireplumber/bluetooth.lua.d/99-tamvolo.lua"

  # wireplumber will not run without a session bus: one of its own.
  daemon dbus dbus-daemon --session --nofork --nopidfile --address="unix:path=$dir/runtime/bus"
  for _ in $(seq 50); do [ -S "$dir/runtime/bus" ] && break; sleep 0.1; done
  daemon pipewire pipewire
  for _ in $(seq 50); do [ -S "$dir/runtime/pipewire-0" ] && break; sleep 0.1; done
  daemon pipewire-pulse pipewire-pulse
  cp "$dir/pipewire.pid" "$dir/pid"
  ln -sfn runtime/pulse/native "$dir/native"
  for _ in $(seq 50); do [ -S "$dir/runtime/pulse/native" ] && break; sleep 0.1; done
  if [ "${TAMVOLO_SERVER_SHARED:-}" = 1 ]; then
    chmod 755 "$dir" "$dir/runtime" "$dir/runtime/pulse"
    chmod 666 "$dir/runtime/pipewire-0"
    chmod 644 "$dir/client.conf"
  fi
  if [ "${TAMVOLO_PIPEWIRE_SESSION:-}" = later ]; then
    [ -S "$dir/runtime/pulse/native" ] && return 0
    echo "pipewire-server: pipewire-pulse did not start" >&2
    stop
    return 1
  fi
  session
}

server_action pipewire-server "$action"
