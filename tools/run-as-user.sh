#!/usr/bin/env bash
# Runs a Windows program under Wine as the test session's ordinary user, in
# that account's own prefix (tools/session_user.sh). ctest starts the
# ordinary user's test programs through it, inside tools/test-wine.sh.
# Usage: tools/run-as-user.sh PROGRAM.exe [ARGUMENTS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# shellcheck source=session.sh
source "$root/tools/session.sh"
if [ -z "${KORVEL_USER_PREFIX:-}" ]; then
    echo "run-as-user: this session has no ordinary user (run it through tools/test-wine.sh)" >&2
    exit 1
fi
program=$1
shift
# Where the account cannot read the build, it runs copies of the program and
# of the agent it installs, and its pictures are brought back afterwards.
copied=""
if ! session_as_user test -r "$program"; then
    copied="$KORVEL_USER_AREA/bin"
    install -d -m 755 "$copied" "$KORVEL_USER_AREA/artifacts"
    chmod 777 "$KORVEL_USER_AREA/artifacts"
    install -m 755 "$program" "$(dirname "$program")/Korvel.exe" "$copied/"
    program="$copied/$(basename "$program")"
    export KORVEL_ARTIFACTS="Z:$KORVEL_USER_AREA/artifacts"
    cd "$KORVEL_USER_AREA"
fi
status=0
session_as_user wine "$program" "$@" || status=$?
if [ -n "$copied" ]; then
    cp "$KORVEL_USER_AREA"/artifacts/* "$root/build/win/artifacts/" 2>/dev/null || true
fi
exit $status
