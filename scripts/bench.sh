#!/usr/bin/env bash
# Benchmarks (not tests): each prints its figures as ratios against a baseline measured in the same run.
# Every benchmark runs to its end, also after one has failed; the script fails when any did, and names it.
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

failed=()
bench() { # title command...
    local title="$1"
    shift
    echo "== $title"
    local status=0
    "$@" || status=$?
    if [ "$status" != 0 ]; then
        echo "bench: \"$title\" ended with exit code $status" >&2
        failed+=("$title")
    fi
}

work="$TARNWICK_STATE/bench-startup"
rm -rf "$work" && mkdir -p "$work"
cp "build/$arch/Tarnwick.exe" "$b/startup/minimal_window.exe" "$work/"
bench "start-up and memory" \
    "$WINE" "$b/startup/startup_bench.exe" "$(win "$work/Tarnwick.exe")" "$(win "$work/minimal_window.exe")"

bench "a tool run through the command runner" "$WINE" "$b/runner/runner_bench.exe" 30

bench "loading and saving the control list" "$WINE" "$b/config/config_bench.exe"

bench "start and suspend sequences, and a backup's downtime, on the tool simulator" \
    "$WINE" "$b/sequences/sequences_bench.exe" "$(win "$root/build/$arch/tools/vmsim/vmsim.exe")" 5 200 1024

# Each round of a logoff ends every program of its Wine server, so the rounds run in copies of the prefix.
bench "a logoff with a hung suspend among 20 VMs, against one without" \
    bash bench/session_end/hung_suspend_round.sh "build/$arch"

bench "a logoff of 8 VMs with ParallelSuspend = 4 against 1, and a forced ending of the same" \
    bash bench/session_end/parallel_round.sh "build/$arch"

if [ ${#failed[@]} -gt 0 ]; then
    printf 'bench: failed: %s\n' "${failed[@]}" >&2
    exit 1
fi
echo "bench: every benchmark ran to its end"
