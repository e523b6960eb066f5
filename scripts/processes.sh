# Sourced by the scripts that start servers of their own for tests: stopping
# by PID and waking a sound server's sink. Defines functions only.

# stop_by_pid FILE [TENTHS]: stops the process whose PID FILE holds (woken
# first, should it be frozen), gives it TENTHS tenths of a second (50) to
# end, then kills it; removes FILE. Nothing to do without FILE.
stop_by_pid() {
  local file=$1 tenths=${2:-50} pid
  [ -f "$file" ] || return 0
  pid=$(cat "$file")
  kill -CONT "$pid" 2>/dev/null
  kill "$pid" 2>/dev/null
  for _ in $(seq "$tenths"); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null
  rm -f "$file"
}

# keep_sink_playing DIR: a silent stream that keeps the default sink running
# (an idle null sink sleeps for seconds at a time, holding up the first
# sound of every test), its PID in DIR/keepalive.pid; then waits until the
# sink has played something. The caller's client_env prints what a client
# needs. False when the sink does not play.
keep_sink_playing() {
  local dir=$1
  env $(client_env) setsid pacat --playback --raw --format=float32le --rate=48000 --channels=2 \
    --latency-msec=40 --client-name=keepalive /dev/zero </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/keepalive.pid"
  head -c 9600 /dev/zero | env $(client_env) timeout 10 pacat --playback --raw --format=float32le \
    --rate=48000 --channels=2 --latency-msec=20 --client-name=warmup
}
