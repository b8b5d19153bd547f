#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (as root). Safe to run again.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in cmake g++ make googletest libgtest-dev g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
         binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 xvfb xauth x11-utils fonts-wine \
         imagemagick python3 clang-format locales nsis; do
    have "$p" || need+=("$p")
done
if [ "${TARNWICK_FUZZ:-0}" = 1 ]; then
    for p in clang libclang-rt-14-dev; do have "$p" || need+=("$p"); done
fi

if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${need[@]}"
fi
