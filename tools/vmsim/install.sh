#!/usr/bin/env bash
# Lays the VMware tool simulator (a test double) out like a VMware install inside a Wine prefix and
# registers it there. See README.md beside this script.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: WINEPREFIX=/path/to/prefix install.sh [options] BUILD_DIR

BUILD_DIR is the mingw build folder (holding tools/vmsim/vmsim.exe) or a folder holding vmsim.exe.

  --product P              workstation (default), server-vix, server (no VIX) or none (remove)
  --view V                 registry view to write: 32 (default, WOW6432Node), 64 or both
  --root WINPATH           parent of the product folders (default C:\Program Files\VMware)
  --home WINPATH           the simulator's state folder (default C:\ProgramData\VMsim)
  --no-trailing-backslash  store InstallPath without its final backslash
  --dword                  store InstallPath as REG_DWORD 1 instead of a string
  --no-vmware-exe          leave vmware.exe out of the product folder
  --no-tool                leave out the tool the program picks (Workstation: vmrun.exe;
                           Server: vmware-cmd.bat)
  --no-samples             do not create the sample VMs under C:\VMs
  --keep-state             keep the state file and journal (default: start afresh with the
                           sample VMs registered, all off)
  --wait                   wait until Wine has written the registry to disk (before copying the prefix)
EOF
}

product=workstation view=32 root='C:\Program Files\VMware' home='C:\ProgramData\VMsim'
trailing=1 dword=0 vmwareExe=1 tool=1 samples=1 keepState=0 wait=0 build=
while (($#)); do
    case $1 in
    --product) product=$2; shift ;;
    --view) view=$2; shift ;;
    --root) root=${2%\\}; shift ;;
    --home) home=${2%\\}; shift ;;
    --no-trailing-backslash) trailing=0 ;;
    --dword) dword=1 ;;
    --no-vmware-exe) vmwareExe=0 ;;
    --no-tool) tool=0 ;;
    --no-samples) samples=0 ;;
    --keep-state) keepState=1 ;;
    --wait) wait=1 ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "install.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) build=$1 ;;
    esac
    shift
done

case $product in workstation | server-vix | server | none) ;; *) echo "install.sh: unknown product $product" >&2; exit 2 ;; esac
case $view in 32 | 64 | both) ;; *) echo "install.sh: unknown view $view" >&2; exit 2 ;; esac
if [[ -z ${WINEPREFIX:-} || ! -d $WINEPREFIX/dosdevices ]]; then
    echo "install.sh: set WINEPREFIX to an initialised Wine prefix" >&2; exit 2
fi
if [[ $product == server-vix && $tool == 0 ]]; then
    # Without VIX's vmrun.exe the program falls back to vmware-cmd.bat: use --product server for that.
    echo "install.sh: --no-tool does not apply to server-vix" >&2; exit 2
fi
exe=
for candidate in "$build/tools/vmsim/vmsim.exe" "$build/vmsim.exe"; do
    [[ -n $build && -f $candidate ]] && exe=$candidate && break
done
if [[ $product != none && -z $exe ]]; then
    echo "install.sh: no vmsim.exe in '$build' (give the build folder)" >&2; exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=wineserver

# C:\A\B -> $WINEPREFIX/dosdevices/c:/A/B
unixPath() {
    local p=$1 drive=${1:0:1}
    p=${p:2}
    echo "$WINEPREFIX/dosdevices/${drive,,}:${p//\\//}"
}

crlf() { printf '%s\r\n' "$@"; }

views=()
case $view in 32) views=(/reg:32) ;; 64) views=(/reg:64) ;; both) views=(/reg:32 /reg:64) ;; esac
keyOf() { echo "HKLM\\SOFTWARE\\VMware, Inc.\\VMware $1"; }

# A clean slate: neither product registered in either view, and no earlier simulator layout.
for name in Workstation Server; do
    for v in /reg:32 /reg:64; do
        "$wine" reg delete "$(keyOf "$name")" /f "$v" >/dev/null 2>&1 || true
    done
done
for folder in 'VMware Workstation' 'VMware Server' 'VMware VIX'; do
    dir=$(unixPath "$root\\$folder")
    [[ -f $dir/vmsim.ini ]] && rm -rf -- "$dir"
done

homeUnix=$(unixPath "$home")
mkdir -p "$homeUnix"

# One folder of the layout: vmsim.exe under the given names, vmsim.ini pointing at the shared state.
layFolder() {
    local dir
    dir=$(unixPath "$1"); shift
    mkdir -p "$dir"
    cp "$exe" "$dir/vmsim.exe"
    crlf '[vmsim]' "Home=$home" >"$dir/vmsim.ini"
    for name in "$@"; do
        if [[ $name == vmware-cmd.bat ]]; then cp "$here/vmware-cmd.bat" "$dir/"; else cp "$exe" "$dir/$name"; fi
    done
}

installDir=
case $product in
workstation)
    installDir="$root\\VMware Workstation\\"
    files=()
    ((vmwareExe)) && files+=(vmware.exe)
    ((tool)) && files+=(vmrun.exe)
    layFolder "$installDir" "${files[@]}"
    ;;
server | server-vix)
    installDir="$root\\VMware Server\\"
    files=()
    ((vmwareExe)) && files+=(vmware.exe)
    ((tool)) && files+=(vmware-cmd.bat)
    layFolder "$installDir" "${files[@]}"
    if [[ $product == server-vix ]]; then layFolder "$root\\VMware VIX\\" vmrun.exe; fi
    ;;
esac

if [[ -n $installDir ]]; then
    key=$(keyOf "$([[ $product == workstation ]] && echo Workstation || echo Server)")
    value=$installDir
    ((trailing)) || value=${value%\\}
    for v in "${views[@]}"; do
        if ((dword)); then
            "$wine" reg add "$key" /v InstallPath /t REG_DWORD /d 1 /f "$v" >/dev/null
        else
            "$wine" reg add "$key" /v InstallPath /t REG_SZ /d "$value" /f "$v" >/dev/null
        fi
    done
fi

# Sample VMs: names with a blank, an "&" and a "%", and a Team of two.
sampleVms=()
if ((samples)); then
    vms=$(unixPath 'C:\VMs')
    for name in Alpha 'Beta Web' 'R&D Lab' '100%PATH%'; do
        base=$name
        mkdir -p "$vms/$name"
        crlf '.encoding = "windows-1252"' 'config.version = "8"' 'virtualHW.version = "4"' \
            "displayName = \"$name\"" 'guestOS = "winxppro"' 'memsize = "256"' \
            'ide0:0.present = "TRUE"' "ide0:0.fileName = \"$base.vmdk\"" 'nvram = "nvram"' >"$vms/$name/$base.vmx"
        crlf '# Disk DescriptorFile' 'version=1' 'createType="monolithicSparse"' >"$vms/$name/$base.vmdk"
        printf 'NVRAM\0\1\2\3' >"$vms/$name/nvram"
        crlf "vmsim sample VM $name" >"$vms/$name/vmware.log"
        sampleVms+=("C:\\VMs\\$name\\$base.vmx")
    done
    mkdir -p "$vms/Lab Team"
    crlf '# vmsim Team: one .vmx path per line' 'C:\VMs\Alpha\Alpha.vmx' 'C:\VMs\Beta Web\Beta Web.vmx' \
        >"$vms/Lab Team/Lab Team.vmtm"
fi

if ((!keepState)); then
    {
        crlf '# vmsim state: vm<TAB>state<TAB>path, snapshot<TAB>path<TAB>name, inject<TAB>vm<TAB>verb<TAB>items'
        for vm in "${sampleVms[@]}"; do printf 'vm\toff\t%s\r\n' "$vm"; done
    } >"$homeUnix/vmsim-state.txt"
    rm -f -- "$homeUnix/vmsim-journal.txt"
fi

if ((wait)); then "$wineserver" -w; fi

echo "vmsim: product $product, registry view $view${installDir:+, InstallPath $installDir}"
echo "vmsim: state and journal in $home"
