#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: picks the loader from the program's own PE header.
set -u
exe="$1"; shift
machine=$(od -An -t x2 -j $(( $(od -An -t u4 -j 60 -N 4 "$exe") + 4 )) -N 2 "$exe" | tr -d ' ')
if [ "$machine" = "014c" ]; then
    exec /usr/lib/wine/wine "$exe" "$@"
fi
exec /usr/lib/wine/wine64 "$exe" "$@"
