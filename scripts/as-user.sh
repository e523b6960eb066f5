#!/usr/bin/env bash
# Runs a command as the normal user the tests and benchmarks use, never as
# root: the user tamvolo-tester, created here on first use when run as root;
# the caller itself when it is not root.
#   scripts/as-user.sh [--rtprio N] COMMAND ARGS...
# With --rtprio, the user may use real-time priority up to N, as Debian's
# audio group may (RLIMIT_RTPRIO 95, /etc/security/limits.d/audio.conf):
# RLIMIT_RTPRIO is set, or, where this machine lets no one raise it (no
# CAP_SYS_RESOURCE, as in some containers), the command is given CAP_SYS_NICE
# instead, which the kernel takes for the same right. Without --rtprio,
# RLIMIT_RTPRIO is 0, as any other user has it. The environment goes through
# unchanged; HOME is the user's.
set -uo pipefail
rtprio=0
if [ "${1:-}" = --rtprio ]; then
  rtprio=$2
  shift 2
fi
[ $# -gt 0 ] || { echo "as-user: a command to run" >&2; exit 2; }
user=tamvolo-tester
if [ "$(id -u)" -ne 0 ]; then
  exec prlimit --rtprio="$rtprio" -- "$@"
fi
if ! id "$user" >/dev/null 2>&1; then
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" || exit 1
fi
drop=(setpriv --reuid="$user" --regid="$user" --clear-groups)
limit=(prlimit --rtprio="$rtprio:$rtprio" --)
if [ "$("${limit[@]}" sh -c 'ulimit -Hr' 2>/dev/null)" != "$rtprio" ]; then
  limit=()
  [ "$rtprio" -gt 0 ] && drop+=(--inh-caps=+sys_nice --ambient-caps=+sys_nice)
fi
exec "${limit[@]}" "${drop[@]}" env HOME=/nonexistent "$@"
