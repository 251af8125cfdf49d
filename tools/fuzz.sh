#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) and runs each for the
# given number of seconds (default 60) over its corpus in tests/fuzz/corpus.
# New inputs go to build/fuzz/corpus; copy the few worth keeping by hand.
# Usage: tools/fuzz.sh [seconds] [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true

"$root/tools/install-deps.sh"
"$root/tools/build.sh" fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for exe in "$root"/build/fuzz/bin/fuzz_*; do
        targets+=("$(basename "$exe")")
    done
fi
for t in "${targets[@]}"; do
    name=${t#fuzz_}
    seeds="$root/tests/fuzz/corpus/$name"
    work="$root/build/fuzz/corpus/$name"
    mkdir -p "$work" "$seeds"
    echo "== $t for ${seconds}s"
    log="$root/build/fuzz/$t.log"
    if ! (cd "$root/build/fuzz" && "$root/build/fuzz/bin/$t" -max_total_time="$seconds" -max_len=65536 \
        -print_final_stats=1 "$work" "$seeds" >"$log" 2>&1); then
        tail -n 40 "$log"
        echo "fuzz.sh: $t failed; the input is in build/fuzz (crash-*)" >&2
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$log"
done
