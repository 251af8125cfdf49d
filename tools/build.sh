#!/usr/bin/env bash
# Builds Korvel.exe with its test programs (MinGW-w64 cross build, build/win)
# and the native sanitizer build of the text functions (build/native).
# Usage: tools/build.sh [win|native|fuzz]...   (default: win native)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(win native)

for t in "${targets[@]}"; do
    case "$t" in
    win)
        cmake -S "$root" -B "$root/build/win" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
        cmake --build "$root/build/win" -j"$jobs"
        ;;
    native)
        cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
        cmake --build "$root/build/native" -j"$jobs"
        ;;
    fuzz)
        CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DKORVEL_FUZZ=ON >/dev/null
        cmake --build "$root/build/fuzz" -j"$jobs"
        ;;
    *)
        echo "build.sh: unknown target $t (win, native, fuzz)" >&2
        exit 2
        ;;
    esac
done
