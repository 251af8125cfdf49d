#!/usr/bin/env bash
# Builds Korvel.exe and runs it under Wine on a virtual desktop, from the demo
# installation in build/demo/Korvel. Unless that installation has mailboxes of
# your own, it runs against a local demo environment: a dovecot POP3 server
# with a mailbox of realistic Russian mails, a small update and telegram
# server, all on loopback in a private network. With an X display ($DISPLAY)
# the desktop opens there; otherwise a picture of it is saved every few
# seconds. The agent's event log is shown as it grows. Ctrl+C stops it all.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/tools/install-deps.sh"
"$root/tools/build.sh" win

# The demo servers listen on port 110 and have host names of their own: the
# demo runs in a private network and mount namespace (a display given as a
# local socket stays reachable from there).
exec unshare --net --mount --propagation private -- "$root/tools/run-demo.sh"
