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
if ! session_as_user test -r "$program"; then
    echo "run-as-user: $KORVEL_USER cannot read $program" >&2
    exit 1
fi
session_as_user wine "$program" "$@"
