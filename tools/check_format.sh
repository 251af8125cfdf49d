#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format makes
# of it (.clang-format at the top). Every tracked file is checked, so every
# change is. Usage: tools/check_format.sh [--fix]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        bad+=("$f")
    fi
done
if [ ${#bad[@]} -gt 0 ]; then
    printf 'check_format: not formatted: %s\n' "${bad[@]}" >&2
    echo "check_format: run tools/check_format.sh --fix" >&2
    exit 1
fi
