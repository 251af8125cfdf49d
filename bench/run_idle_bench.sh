#!/usr/bin/env bash
# Times the arrival of a mail at the agent with its IMAP mailbox in IDLE,
# from a fresh shell: builds the Windows programs, then, in a private network
# and mount namespace, starts the test session with its servers, runs
# idle_bench.exe and stops everything it started. The figures are printed and
# kept in build/idle-bench.txt.
# Usage: bench/run_idle_bench.sh [--repeat R]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != "--in-namespace" ]; then
    "$root/tools/install-deps.sh"
    "$root/tools/build.sh" win
    exec unshare --net --mount --propagation private -- "$0" --in-namespace "$@"
fi
shift

# shellcheck source=../tools/session.sh
source "$root/tools/session.sh"
session_dir="$root/build/idle-bench-session"
[ -n "${KORVEL_REUSE_PREFIX:-}" ] || rm -rf "$session_dir"
trap 'session_stop' EXIT
session_start "$session_dir"
session_start_services

out="$root/build/idle-bench.txt"
echo "idle_bench $* on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
    "load $(cut -d' ' -f1-3 /proc/loadavg), $(wine --version 2>/dev/null)" | tee "$out"
wine "$root/build/win/bin/idle_bench.exe" "$@" </dev/null 2>&1 | tee -a "$out"
exit "${PIPESTATUS[0]}"
