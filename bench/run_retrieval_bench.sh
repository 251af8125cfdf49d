#!/usr/bin/env bash
# Times retrieval runs under Wine against dovecot, from a fresh shell: builds
# the Windows programs, then, in a private network and mount namespace (the
# mail servers listen on ports 110, 143, 993 and 995 and have host names of
# their own), starts the test session with its servers, runs
# retrieval_bench.exe (POP3), with --imap imap_bench.exe, or with --idle
# idle_bench.exe (the agent with an IMAP mailbox in IDLE) and stops
# everything it started. The figures are printed and kept in
# build/retrieval-bench.txt, build/imap-bench.txt or build/idle-bench.txt.
# Usage: bench/run_retrieval_bench.sh [--no-relay] [--no-walk] [--repeat R] [messages...]
#        (default: 1000 2500 5000 messages)
#        bench/run_retrieval_bench.sh --imap [--no-relay] [--repeat R] [--memory M] [messages]
#        (default: 2000 messages, and a first poll of 50000 for its memory;
#        --memory 0 leaves that out)
#        bench/run_retrieval_bench.sh --idle [--repeat R]
#        (default: 10 deliveries to each of two servers)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != "--in-namespace" ]; then
    "$root/tools/install-deps.sh"
    "$root/tools/build.sh" win
    exec unshare --net --mount --propagation private -- "$0" --in-namespace "$@"
fi
shift

imap=0
idle=0
if [ "${1:-}" = "--imap" ]; then
    imap=1
    shift
elif [ "${1:-}" = "--idle" ]; then
    idle=1
    shift
fi
# The large mailbox of the IMAP bench's memory row, made before it starts.
large_count=50000
args=()
while [ $# -gt 0 ]; do
    if [ $imap -eq 1 ] && [ "$1" = "--memory" ] && [ $# -gt 1 ]; then
        large_count=$2
        shift 2
    else
        args+=("$1")
        shift
    fi
done
has_size=0
for a in "${args[@]}"; do
    [[ "$a" =~ ^[0-9]+$ ]] && has_size=1
done
[ $has_size -eq 1 ] || [ $imap -eq 1 ] || [ $idle -eq 1 ] || args+=(1000 2500 5000)

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

# The IMAP rows go through the scripted POP3 server's relay, which passes
# bytes through whatever the protocol: it takes the scripted IMAP server's
# places (fake.test:143, fakes.test:993, names the test certificate holds)
# and its control folder, where imap_bench writes the relay's scenario.
relay_pid_file="$KORVEL_SESSION_DIR/fake-pop3.pid"
if [ $imap -eq 1 ]; then
    relay_pid_file="$KORVEL_SESSION_DIR/fake-imap.pid"
    kill "$(cat "$relay_pid_file")"
    while kill -0 "$(cat "$relay_pid_file")" 2>/dev/null; do
        sleep 0.05
    done
    fake_imap_dir="$KORVEL_SESSION_DIR/fake-imap"
    python3 "$root/tests/support/fake_pop3.py" "$fake_imap_dir" 127.0.0.2:143,127.0.0.4:993 \
        >"$fake_imap_dir/relay.log" 2>&1 &
    echo $! >"$relay_pid_file"
    for _ in $(seq 1 100); do
        python3 -c 'import socket
for a in (("127.0.0.2", 143), ("127.0.0.4", 993)):
    socket.create_connection(a, 1).close()' 2>/dev/null && break
        sleep 0.05
    done
    export KORVEL_BENCH_IMAP_RELAY=1
    if [ "$large_count" -gt 0 ]; then
        large_user=benchlarge
        large_dir="$(cat "$KORVEL_SESSION_DIR/dovecot.dir")/mail/$large_user"
        python3 "$root/bench/make_maildir.py" "$root/tests/retrieval/mails" "$large_dir/Maildir" "$large_count" >&2
        chown -R nobody:nogroup "$large_dir"
        export KORVEL_BENCH_LARGE_MAILBOX="$large_user $large_count"
    fi
fi

# The Unix processes whose CPU time the benchmark reads beside its own: the
# wineserver of this prefix, the dovecot master (its POP3 and IMAP processes
# are its children) and the scripted server that acts as the relay.
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
servers="$servers relay:$(cat "$relay_pid_file")"
export KORVEL_BENCH_SERVERS="$servers"

program=retrieval_bench
[ $imap -eq 0 ] || program=imap_bench
[ $idle -eq 0 ] || program=idle_bench
out="$root/build/${program/_/-}.txt"
{
    echo "$program ${args[*]} on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
        "load $(cut -d' ' -f1-3 /proc/loadavg), $(wine --version 2>/dev/null)"
    [ $idle -eq 1 ] ||
        echo "CPU s: this process (user + kernel); the other columns: CPU s of the Unix processes named"
} | tee "$out"
wine "$root/build/win/bin/$program.exe" "${args[@]}" </dev/null 2>&1 | tee -a "$out"
exit "${PIPESTATUS[0]}"
