#!/usr/bin/env bash
# Fails when a C++ file does not match the committed .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests tools bench -name '*.cpp' -o -name '*.h')
if clang-format --dry-run --Werror "${files[@]}"; then
    echo "format: ok (${#files[@]} files)"
else
    echo "format: run clang-format -i on the files above" >&2
    exit 1
fi
