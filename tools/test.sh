#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian machine: installs what is
# missing, builds, runs the native sanitizer tests, then the Windows tests
# under Wine on a virtual display. Pictures of the run land in
# build/win/artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/tools/install-deps.sh"

echo "== layers, sizes and formatting"
"$root/tools/check_layers.py"
"$root/tools/check_sizes.py"
"$root/tools/check_format.sh"

"$root/tools/build.sh" win native

echo "== native tests (AddressSanitizer, UBSan)"
(cd "$root/build/native" && ctest --output-on-failure)

echo "== Windows tests under Wine"
# The servers of the tests listen on port 110 and have host names of their
# own: the Windows tests run in a private network and mount namespace.
exec unshare --net --mount --propagation private -- "$root/tools/test-wine.sh" "$@"
