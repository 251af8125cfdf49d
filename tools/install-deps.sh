#!/usr/bin/env bash
# Installs the Debian packages that building and testing Korvel need, and the
# Russian locale that gives Wine the Windows-1251 code page. Safe to run again:
# it only calls apt-get when a package is missing.
set -euo pipefail

packages=(
    cmake make g++ python3 clang clang-format libclang-rt-14-dev googletest
    g++-mingw-w64-x86-64 wine wine64
    xvfb xauth x11-apps imagemagick fonts-wine fonts-liberation
    dovecot-pop3d dovecot-imapd iproute2 util-linux locales openssl
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine takes its ANSI code page from the locale: ru_RU.UTF-8 gives 1251, the
# agent's own; en_US.UTF-8 gives 1252, a system where Russian is not the
# code page, for the tests that show the texts read right there too.
for locale_name in ru_RU en_US; do
    if ! locale -a 2>/dev/null | grep -qi "^${locale_name}\.utf-\?8\$"; then
        echo "install-deps: generating the ${locale_name}.UTF-8 locale"
        "${sudo_cmd[@]}" localedef -i "$locale_name" -f UTF-8 "${locale_name}.UTF-8"
    fi
done
