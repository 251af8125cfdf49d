#!/usr/bin/env bash
# Times retrieval runs under Wine against dovecot, from a fresh shell: builds
# the Windows programs, then, in a private network and mount namespace (the
# POP3 servers listen on port 110 and have host names of their own), starts
# the test session with its servers, runs retrieval_bench.exe and stops
# everything it started. The figures are printed and kept in
# build/retrieval-bench.txt.
# Usage: bench/run_retrieval_bench.sh [--no-relay] [--no-walk] [--repeat R] [messages...]
#        (default: 1000 2500 5000 messages)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != "--in-namespace" ]; then
    "$root/tools/install-deps.sh"
    "$root/tools/build.sh" win
    exec unshare --net --mount --propagation private -- "$0" --in-namespace "$@"
fi
shift

args=("$@")
has_size=0
for a in "${args[@]}"; do
    [[ "$a" =~ ^[0-9]+$ ]] && has_size=1
done
[ $has_size -eq 1 ] || args+=(1000 2500 5000)

# shellcheck source=../tools/session.sh
source "$root/tools/session.sh"
session_dir="$root/build/bench-session"
# One run at a time: a second one would remove the session of the first.
running="$root/build/retrieval-bench.pid"
if [ -f "$running" ] && kill -0 "$(cat "$running")" 2>/dev/null; then
    echo "run_retrieval_bench: already running (pid $(cat "$running"))" >&2
    exit 1
fi
echo $$ >"$running"
[ -n "${KORVEL_REUSE_PREFIX:-}" ] || rm -rf "$session_dir"
trap 'session_stop; rm -f "$running"' EXIT
session_start "$session_dir"
session_start_services

# The Unix processes whose CPU time the benchmark reads beside its own: the
# wineserver of this prefix, the dovecot master (its POP3 processes are its
# children) and the scripted server that acts as the relay.
wineserver_pid=""
for dir in /proc/[0-9]*; do
    case "$(cat "$dir/comm" 2>/dev/null)" in
    wineserver*) ;;
    *) continue ;;
    esac
    if tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        wineserver_pid=${dir#/proc/}
        break
    fi
done
servers=""
[ -z "$wineserver_pid" ] || servers="wineserver:$wineserver_pid"
dovecot_dir=$(cat "$KORVEL_SESSION_DIR/dovecot.dir")
servers="$servers dovecot:$(cat "$dovecot_dir/run/master.pid")"
servers="$servers relay:$(cat "$KORVEL_SESSION_DIR/fake-pop3.pid")"
export KORVEL_BENCH_SERVERS="$servers"

out="$root/build/retrieval-bench.txt"
{
    echo "retrieval_bench ${args[*]} on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
        "load $(cut -d' ' -f1-3 /proc/loadavg), $(wine --version 2>/dev/null)"
    echo "CPU s: this process (user + kernel); the other columns: CPU s of the Unix processes named"
} | tee "$out"
wine "$root/build/win/bin/retrieval_bench.exe" "${args[@]}" </dev/null 2>&1 | tee -a "$out"
exit "${PIPESTATUS[0]}"
