#!/usr/bin/env bash
# Builds the release from this tree: build/dist/Tarnwick-<version>-setup.exe (the per-user installer)
# and build/dist/Tarnwick-<version>-portable.zip (the program, the README and the licence).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$(nproc)" --target dist
ls -l build/dist/
