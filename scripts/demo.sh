#!/usr/bin/env bash
# The main job: builds Tarnwick.exe and runs it under Wine on a virtual desktop, then saves a
# screenshot and prints the log.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh

jobs=$(nproc)
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs" --target Tarnwick
arch=win64
if /usr/lib/wine/wine --version >/dev/null 2>&1; then arch=win32; fi
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" -j"$jobs" --target Tarnwick

source scripts/wine-env.sh
trap 'tarnwick_stop_wine; tarnwick_stop_display' EXIT
tarnwick_start_display
tarnwick_make_prefix

run="$TARNWICK_STATE/demo"
rm -rf "$run" && mkdir -p "$run"
cp "build/$arch/Tarnwick.exe" "$run/"
exe_win="Z:${run//\//\\}\\Tarnwick.exe"

"$WINE" "$exe_win" /SKIP_VMWARE_CHECK >"$run/wine.out" 2>&1 &
sleep 6
import -window root "$root/build/demo.png"
echo "demo: screenshot saved to build/demo.png"
# The demo is over: stop this prefix's Wine, the program with it.
/usr/lib/wine/wineserver -k
wait || true
echo "demo: Tarnwick.log:"
cat "$run/Tarnwick.log"
