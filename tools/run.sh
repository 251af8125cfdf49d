#!/usr/bin/env bash
# Builds Korvel.exe and runs it under Wine on a virtual desktop, from a demo
# installation in build/demo. With an X display ($DISPLAY) the desktop opens
# there; without one it runs on a virtual display and a picture of it is
# saved to build/demo/desktop.png every few seconds. The agent's event log
# is shown as it grows. Ctrl+C stops everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/tools/install-deps.sh"
"$root/tools/build.sh" win

demo="$root/build/demo"
install_dir="$demo/Korvel"
mkdir -p "$install_dir/MainFolder"
cp "$root/build/win/bin/Korvel.exe" "$install_dir/Korvel.exe"
# An empty account list marks the folder as an installation.
[ -e "$install_dir/MainFolder/MailBox.txt" ] || : >"$install_dir/MainFolder/MailBox.txt"

# shellcheck source=session.sh
source "$root/tools/session.sh"
if [ -n "${DISPLAY:-}" ]; then
    export KORVEL_DISPLAY="$DISPLAY"
fi
trap session_stop EXIT
session_start "$demo/session"

exe_path=$(winepath -w "$install_dir/Korvel.exe")
echo "run: starting $exe_path"
wine "$exe_path" </dev/null >"$demo/wine.log" 2>&1 &
agent=$!
echo "$agent" >"$KORVEL_SESSION_DIR/agent.pid"

log="$install_dir/MainFolder/MAInLog.txt"
shown=0
while kill -0 "$agent" 2>/dev/null; do
    if [ -z "${KORVEL_DISPLAY:-}" ]; then
        session_screenshot "$demo/desktop.png" 2>/dev/null || true
    fi
    if [ -f "$log" ]; then
        lines=$(wc -l <"$log")
        if [ "$lines" -gt "$shown" ]; then
            tail -n +"$((shown + 1))" "$log" | head -n "$((lines - shown))" | iconv -f CP1251 -t UTF-8
            shown=$lines
        fi
    fi
    sleep 3
done
echo "run: the agent has ended"
