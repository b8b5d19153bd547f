#!/usr/bin/env bash
# Fails when an include runs against the layers: only app/ (the composition root) may include app/,
# and only a win32/ folder may include Windows headers. Test tiers that test app/ may include it.
set -euo pipefail
cd "$(dirname "$0")/.."

bad=0
report() { echo "layers: $1"; bad=1; }

while IFS= read -r hit; do
    report "$hit (only app/ includes app/)"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"app/' src --include='*.h' --include='*.cpp' \
             | grep -v '^src/app/' || true)

windows_headers='windows|winbase|winuser|winreg|winnt|commctrl|commdlg|shellapi|shlobj|psapi|objbase|ole2|winresrc|urlmon'
while IFS= read -r hit; do
    report "$hit (Windows headers only in a win32/ folder)"
done < <(grep -rniE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($windows_headers)\.h[>\"]" src tests/unit \
             --include='*.h' --include='*.cpp' | grep -v '/win32/' || true)

if [ "$bad" = 0 ]; then echo "layers: ok"; fi
exit "$bad"
