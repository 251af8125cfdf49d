#!/usr/bin/env bash
# The Windows half of tools/test.sh, run inside a private network namespace:
# starts the session (virtual display, Wine prefix, an ordinary user with a
# prefix of its own, POP3 servers) and runs the Windows test programs with
# ctest. Arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# shellcheck source=session.sh
source "$root/tools/session.sh"
session_dir="$root/build/test-session"
[ -n "${KORVEL_REUSE_PREFIX:-}" ] || rm -rf "$session_dir"
trap session_stop EXIT
session_start "$session_dir" user
session_start_services
rm -rf "$root/build/win/artifacts"
# The ordinary user's test programs save their pictures there too.
mkdir -p "$root/build/win/artifacts"
chmod a+rwx "$root/build/win/artifacts"
status=0
(cd "$root/build/win" && ctest --output-on-failure "$@") || status=$?

for bmp in "$root"/build/win/artifacts/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $status
