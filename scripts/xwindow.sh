#!/usr/bin/env bash
# Shared by the scripts that drive the real window on an X server: waits for
# Tamvolo's window and prints its id, or fails after thirty seconds.
tamvolo_wait_for_window() {
  local window= _
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Tamvolo$' 2>/dev/null | head -n 1 || true)
    if [ -n "$window" ]; then
      echo "$window"
      return 0
    fi
    sleep 0.1
  done
  echo "the window did not appear" >&2
  return 1
}
