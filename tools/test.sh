#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian machine: installs what is
# missing, builds, runs the native sanitizer tests, then the Windows tests
# under Wine on a virtual display. Pictures of the run land in
# build/win/artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/tools/install-deps.sh"
"$root/tools/build.sh" win native

echo "== native tests (AddressSanitizer, UBSan)"
(cd "$root/build/native" && ctest --output-on-failure)

echo "== Windows tests under Wine"
# shellcheck source=session.sh
source "$root/tools/session.sh"
session_dir="$root/build/test-session"
[ -n "${KORVEL_REUSE_PREFIX:-}" ] || rm -rf "$session_dir"
trap session_stop EXIT
session_start "$session_dir"
rm -rf "$root/build/win/artifacts"
status=0
(cd "$root/build/win" && ctest --output-on-failure "$@") || status=$?

for bmp in "$root"/build/win/artifacts/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $status
