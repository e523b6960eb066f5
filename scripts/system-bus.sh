#!/usr/bin/env bash
# A private system bus for tests, never the machine's: dbus-daemon with the
# system bus's policy on a socket under DIR, polkitd and rtkit-daemon on it,
# as a desktop has them. The tests' normal user (scripts/as-user.sh) stands
# for the user of an active desktop session by a polkit rule of the
# fixture's, written when it starts (as root only: polkit reads its rules
# from /etc) and removed when it stops:
#   scripts/system-bus.sh start DIR          starts it; RTKit grants real time
#   scripts/system-bus.sh grant DIR WHAT     what RTKit grants from now on:
#                                            realtime, nice (a nice level, no
#                                            real time) or nothing
#   scripts/system-bus.sh stop DIR           stops it by its PIDs
#   scripts/system-bus.sh env DIR            what a client exports
# Where it cannot run (not root, no rtkit-daemon or polkitd), start says why
# and exits 0 without a bus: the tests that need it skip.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
action=${1:?start, grant, stop or env}
dir=$(realpath -m "${2:?folder}")
rule=/etc/polkit-1/rules.d/49-tamvolo-tests.rules
rtkit=/usr/libexec/rtkit-daemon
polkitd=/usr/lib/polkit-1/polkitd

client_env() {
  [ -S "$dir/socket" ] && echo "DBUS_SYSTEM_BUS_ADDRESS=unix:path=$dir/socket"
  return 0
}

# grant WHAT: the rule for the tests' user; polkitd reads it again at once.
grant() {
  local actions
  case $1 in
    realtime) actions='"org.freedesktop.RealtimeKit1.acquire-real-time", "org.freedesktop.RealtimeKit1.acquire-high-priority"' ;;
    nice) actions='"org.freedesktop.RealtimeKit1.acquire-high-priority"' ;;
    nothing) actions='' ;;
    *) echo "system-bus: grant realtime, nice or nothing" >&2; return 2 ;;
  esac
  cat >"$rule.new" <<EOF || return 1
// Tamvolo's test fixture (scripts/system-bus.sh): while it runs, RTKit
// treats the tests' normal user as the user of an active desktop session.
polkit.addRule(function(action, subject) {
    if (subject.user == "tamvolo-tester" && [$actions].indexOf(action.id) >= 0)
        return polkit.Result.YES;
});
EOF
  mv "$rule.new" "$rule"
  sleep 0.5 # polkitd watches its rules and reads them again
}

stop() {
  local name
  for name in rtkit polkit bus; do stop_by_pid "$dir/$name.pid" 20; done
  rm -f "$rule" "$dir/socket"
}

start() {
  if [ "$(id -u)" -ne 0 ] || [ ! -x "$rtkit" ] || [ ! -x "$polkitd" ]; then
    echo "system-bus: needs root, rtkit and polkitd: no private system bus (the tests of RTKit skip)" >&2
    return 0
  fi
  stop
  mkdir -p "$dir" || return 1
  # The system bus's own policy (the services' files in system.d), on a
  # socket of ours, in the foreground, activating nothing.
  sed -e "s|<listen>.*</listen>|<listen>unix:path=$dir/socket</listen>|" \
    -e 's|<pidfile>.*</pidfile>||' -e 's|<user>.*</user>||' -e 's|<fork/>||' \
    -e 's|<standard_system_servicedirs/>||' \
    -e 's|<includedir>system.d</includedir>|<includedir>/usr/share/dbus-1/system.d</includedir>|' \
    -e 's|<include ignore_missing="yes">/etc/dbus-1/system.conf</include>||' \
    /usr/share/dbus-1/system.conf >"$dir/system.conf" || return 1
  # Every daemon's output goes to its log, none to the caller's (CTest waits
  # until nothing holds its pipes).
  dbus-daemon --config-file="$dir/system.conf" --nofork </dev/null >"$dir/bus.log" 2>&1 &
  echo $! >"$dir/bus.pid"
  for _ in $(seq 50); do [ -S "$dir/socket" ] && break; sleep 0.1; done
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/socket"
  grant realtime || { stop; return 1; }
  "$polkitd" --no-debug </dev/null >"$dir/polkit.log" 2>&1 &
  echo $! >"$dir/polkit.pid"
  # RTKit limits its own file sizes to nothing: its log goes through a pipe.
  # No canary: a loaded test machine would make it demote every thread.
  ("$rtkit" --stderr --no-canary 2>&1 | cat >"$dir/rtkit.log") </dev/null >/dev/null 2>&1 &
  for _ in $(seq 50); do
    if dbus-send --system --print-reply --dest=org.freedesktop.RealtimeKit1 /org/freedesktop/RealtimeKit1 \
      org.freedesktop.DBus.Properties.Get string:org.freedesktop.RealtimeKit1 string:MaxRealtimePriority \
      >/dev/null 2>&1; then
      pgrep -x rtkit-daemon -n >"$dir/rtkit.pid"
      return 0
    fi
    sleep 0.1
  done
  echo "system-bus: RTKit did not answer; its logs:" >&2
  cat "$dir/bus.log" "$dir/polkit.log" "$dir/rtkit.log" >&2 2>/dev/null
  stop
  return 1
}

case $action in
  grant) grant "${3:?realtime, nice or nothing}" ;;
  *) server_action system-bus "$action" ;;
esac
