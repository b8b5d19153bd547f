#!/usr/bin/env bash
# Builds everything the tests need and runs every test tier: unit (native, and under ASan/UBSan), win and
# e2e (Wine). The Wine tiers spend most of their time waiting on Wine, not computing, so the native builds,
# the unit tiers and the 32-bit build run beside them, at a low priority so that Wine's timings keep the
# processor first. The 64-bit build runs first at full priority: the Wine tiers run exactly that file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
bash scripts/check-layers.sh
bash scripts/check-format.sh

jobs=$(nproc)
logs="$root/build/test-logs"
rm -rf "$logs"
mkdir -p "$logs"
t0=$(date +%s)
# Each step's seconds from t0, for the summary.
timed() { # name command...
    local name="$1" start=$(( $(date +%s) - t0 ))
    shift
    local status=0
    "$@" || status=$?
    printf '%s\t%d\t%d\n' "$name" "$start" "$(( $(date +%s) - t0 ))" >>"$logs/times"
    return "$status"
}
build() { # preset [targets...]
    local preset="$1"
    shift
    cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" -j"$jobs" ${1:+--target "$@"}
}

native_side() {
    set -euo pipefail
    timed "build native" build native
    timed "tier unit" ctest --preset native
    timed "build native-asan" build native-asan
    timed "tier unit (ASan/UBSan)" ctest --preset native-asan
    # The 32-bit program is built on every run so that it cannot rot; nothing here runs it. The
    # release is the 64-bit program.
    timed "build win32" build win32 Tarnwick
    # The benchmarks and the tools the tests do not run, so that they cannot rot either: in the 64-bit
    # tree once the build the Wine tiers need is done, and without configuring it again under them.
    while [ ! -e "$logs/win64-built" ]; do sleep 1; done
    timed "build win64 rest" cmake --build --preset win64 -j"$jobs"
}
export -f native_side timed build
export t0 logs jobs
# A session of its own, so that the whole side can be stopped if the rest fails first.
setsid -w nice -n 15 bash -c native_side >"$logs/native-side.log" 2>&1 &
side=$!
side_done=0
source scripts/wine-env.sh
cleanup() {
    [ "$side_done" = 1 ] || kill -- "-$side" 2>/dev/null || true
    tarnwick_stop_wine
    tarnwick_stop_display
}
trap cleanup EXIT

# The prefix is made while the 64-bit build runs.
tarnwick_start_display
timed "wine prefix" tarnwick_make_prefix >"$logs/prefix.log" 2>&1 &
prefix=$!

# What the Wine tiers run: the program (its build also makes the installer and the portable zip, which the
# e2e tier installs), the test binaries, the tool simulator and the session-end helper.
timed "build win64" build win64 Tarnwick dist tarnwick_win_tests tarnwick_e2e session_refuser session_manager vmsim
touch "$logs/win64-built"
wait "$prefix"
tarnwick_start_wine
wine_status=0
timed "tiers win and e2e" bash scripts/ctest-twice.sh win64 || wine_status=$?

side_status=0
wait "$side" || side_status=$?
side_done=1
echo "== native builds, unit tiers and the 32-bit build (output in $logs/native-side.log)"
if [ "$side_status" = 0 ]; then
    grep -E '^(100% tests passed|[0-9]+% tests passed|Total Test time)' "$logs/native-side.log" || true
else
    tail -n 60 "$logs/native-side.log"
fi

echo "== times (seconds from the start of the tests, after setup and checks)"
sort -t$'\t' -n -k2 "$logs/times" | awk -F'\t' '{ printf "  %-24s %4d .. %4d s  (%d s)\n", $1, $2, $3, $3 - $2 }'
echo "  total: $(( $(date +%s) - t0 )) s"
if [ -s build/win64/flaky.txt ]; then
    echo "== flaky: these passed only on their second try"
    cat build/win64/flaky.txt
fi
[ "$side_status" = 0 ] || { echo "FAILED: native builds or unit tiers" >&2; exit 1; }
[ "$wine_status" = 0 ] || { echo "FAILED: win or e2e tier" >&2; exit 1; }
echo "all tiers passed"
