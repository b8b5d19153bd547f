#!/usr/bin/env bash
# Benchmarks (not tests): each prints its figures as ratios against a baseline measured in the same run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
arch=win64
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" -j"$(nproc)"
source scripts/wine-env.sh
trap 'tarnwick_stop_wine; tarnwick_stop_display' EXIT
tarnwick_start_display
tarnwick_make_prefix
tarnwick_start_wine
b="build/$arch/bench"
win() { echo "Z:${1//\//\\}"; }

work="$TARNWICK_STATE/bench-startup"
rm -rf "$work" && mkdir -p "$work"
cp "build/$arch/Tarnwick.exe" "$b/startup/minimal_window.exe" "$work/"
echo "== start-up and memory"
"$WINE" "$b/startup/startup_bench.exe" "$(win "$work/Tarnwick.exe")" "$(win "$work/minimal_window.exe")"

echo "== a tool run through the command runner"
"$WINE" "$b/runner/runner_bench.exe" 30

echo "== loading and saving the control list"
"$WINE" "$b/config/config_bench.exe"

echo "== start and suspend sequences, and a backup's downtime, on the tool simulator"
"$WINE" "$b/sequences/sequences_bench.exe" "$(win "$root/build/$arch/tools/vmsim/vmsim.exe")" 5 200
