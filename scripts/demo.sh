#!/usr/bin/env bash
# The main job: builds Tarnwick.exe and runs it under Wine against the bundled VMware tool simulator
# (a test double; real VMware is not available on Linux): a /START run with sample VMs, a screenshot of
# the window while it works, then a /BKP backup run beside it, and the log.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh

jobs=$(nproc)
arch=win64
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" -j"$jobs" --target Tarnwick vmsim

source scripts/wine-env.sh
trap 'tarnwick_stop_wine; tarnwick_stop_display' EXIT
tarnwick_start_display
tarnwick_make_prefix
# A prefix of its own, so the demo's VMware stand-in never meets the tests.
demo="$TARNWICK_STATE/demo-prefix"
rm -rf "$demo"
cp -a "$WINEPREFIX" "$demo"
export WINEPREFIX="$demo"
tarnwick_start_wine
bash tools/vmsim/install.sh --product workstation "build/$arch"

app="$demo/drive_c/Tarnwick"
mkdir -p "$app" "$demo/drive_c/Backups"
cp "build/$arch/Tarnwick.exe" "$app/"
printf '[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n[Control]\r\n' >"$app/Tarnwick.ini"
for entry in 'C:\VMs\Alpha\Alpha.vmx = -1' 'DELAY:4 = -1' 'C:\VMs\Beta Web\Beta Web.vmx = -1' \
             'C:\VMs\R&D Lab\R&D Lab.vmx = 0' 'C:\VMs\Lab Team\Lab Team.vmtm = 0'; do
    printf '  %s\r\n' "$entry" >>"$app/Tarnwick.ini"
done
printf '[StopAction]\r\n  C:\\VMs\\Beta Web\\Beta Web.vmx = shutdown\r\n  C:\\VMs\\R&D Lab\\R&D Lab.vmx = leave\r\n' >>"$app/Tarnwick.ini"

echo "demo: Tarnwick /START"
"$WINE" 'C:\Tarnwick\Tarnwick.exe' /START >"$app/wine.out" 2>&1 &
for _ in $(seq 100); do grep -q "Sleeping for" "$app/Tarnwick.log" 2>/dev/null && break; sleep 0.2; done
sleep 1.5
import -window root "$root/build/demo.png"
echo "demo: screenshot of the window during the start sequence: build/demo.png"
for _ in $(seq 100); do grep -q "VMs Started" "$app/Tarnwick.log" 2>/dev/null && break; sleep 0.2; done

echo "demo: Tarnwick /BKP C:\\Backups, beside the running copy"
set +e
"$WINE" 'C:\Tarnwick\Tarnwick.exe' /BKP 'C:\Backups' >>"$app/wine.out" 2>&1
echo "demo: the backup run ended with exit code $?"
set -e
echo "demo: backup folders:"
ls -R "$demo/drive_c/Backups"
echo "demo: the simulator's journal of tool calls:"
cut -f3,6- "$demo/drive_c/ProgramData/VMsim/vmsim-journal.txt"
echo "demo: Tarnwick.log:"
cat "$app/Tarnwick.log"
