#!/usr/bin/env bash
# Fails when an include runs against the layers the README's Architecture section names:
# 1. common/ includes nothing of the project but common/; each subsystem includes common/, itself and
#    the portable headers of the subsystems below it (the table below); a win32/ header only from a
#    win32/ folder of the same subsystem, or common/win32/.
# 2. Only app/ (the composition root) includes app/. Test tiers that test app/ may include it.
# 3. Only a win32/ folder includes Windows headers, and its code lives in namespace tarnwick::win32.
set -euo pipefail
cd "$(dirname "$0")/.."

bad=0
report() { echo "layers: $1"; bad=1; }

# What each folder of src/ may include besides itself and common/; app/ includes everything.
declare -A below=(
    [common]=""
    [dos]=""
    [hypervisor]=""
    [config]=""
    [sequences]="config dos hypervisor"
    [ui]="config sequences"
)
while IFS= read -r hit; do
    file=${hit%%:*}
    from=${file#src/}
    from=${from%%/*}
    include=$(sed -E 's/^[^"]*"([^"]*)".*/\1/' <<<"${hit#*:*:}")
    to=${include%%/*}
    [ "$from" = app ] || [ "$to" = app ] && continue # rule 2 below
    if [ -z "${below[$from]+set}" ]; then
        report "$hit (src/$from/ is missing from the layer table in scripts/check-layers.sh)"
        continue
    fi
    if [ "$to" != "$from" ] && [ "$to" != common ] && [[ " ${below[$from]} " != *" $to "* ]]; then
        allowed="common/"
        for folder in ${below[$from]}; do allowed+=", $folder/"; done
        report "$hit ($from/ includes only $from/ and $allowed of the project)"
    fi
    if [[ $include == */win32/* ]]; then
        if [[ $file != */win32/* ]]; then
            report "$hit (a portable file includes a win32/ header)"
        elif [ "$to" != "$from" ] && [ "$to" != common ]; then
            report "$hit (a win32/ folder includes only its own subsystem's and common/'s win32/ headers)"
        fi
    fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_0-9]+/' src --include='*.h' --include='*.cpp' || true)

while IFS= read -r hit; do
    report "$hit (only app/ includes app/)"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"app/' src --include='*.h' --include='*.cpp' \
             | grep -v '^src/app/' || true)

windows_headers='windows|winbase|winuser|winreg|winnt|commctrl|commdlg|shellapi|shlobj|psapi|objbase|ole2|winresrc|urlmon'
while IFS= read -r hit; do
    report "$hit (Windows headers only in a win32/ folder)"
done < <(grep -rniE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($windows_headers)\.h[>\"]" src tests/unit \
             --include='*.h' --include='*.cpp' | grep -v '/win32/' || true)

# WinMain is looked up by name in the global namespace; the resource ids are plain #defines that the
# resource compiler reads too.
while IFS= read -r file; do
    case "$file" in
    src/app/win32/winmain.cpp | src/ui/win32/resource_ids.h) continue ;;
    esac
    grep -qE '^namespace tarnwick::win32( |::)' "$file" || report "$file (win32/ code lives in namespace tarnwick::win32)"
    while IFS= read -r hit; do
        report "$file:$hit (win32/ code lives in namespace tarnwick::win32)"
    done < <(grep -nE '^[[:space:]]*namespace[[:space:]]+[A-Za-z_]' "$file" | grep -vE 'namespace tarnwick::win32( |::)' || true)
done < <(find src -path '*/win32/*' \( -name '*.h' -o -name '*.cpp' \) | sort)

if [ "$bad" = 0 ]; then echo "layers: ok"; fi
exit "$bad"
