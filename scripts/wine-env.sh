# Sourced: a private Wine prefix and display for this build tree. Prefixes are made once, from a
# template, because a fresh prefix costs several seconds.
: "${TARNWICK_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
: "${TARNWICK_STATE:=$TARNWICK_ROOT/build/wine}"
export WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
# No menu entries on the host for the shortcuts that the installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX="${WINEPREFIX:-$TARNWICK_STATE/prefix}"
mkdir -p "$TARNWICK_STATE"

tarnwick_start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local n
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$TARNWICK_STATE/xvfb.log" 2>&1 &
        echo $! >"$TARNWICK_STATE/xvfb.pid"
        export DISPLAY=":$n"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    done
    echo "wine-env: could not start Xvfb" >&2
    return 1
}

tarnwick_stop_display() {
    if [ -f "$TARNWICK_STATE/xvfb.pid" ]; then
        kill "$(cat "$TARNWICK_STATE/xvfb.pid")" 2>/dev/null || true
        rm -f "$TARNWICK_STATE/xvfb.pid"
    fi
}

tarnwick_make_prefix() {
    [ -f "$WINEPREFIX/.tarnwick-ready" ] && return 0
    rm -rf "$WINEPREFIX"
    "$WINE" wineboot -i >"$TARNWICK_STATE/wineboot.log" 2>&1 || true
    /usr/lib/wine/wineserver -w
    # A crash must fail a test, not wait for someone to close Wine's dialog.
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
    # Every program runs on one virtual desktop with a taskbar and a notification area, so the tray,
    # the test driver and the end-of-session round all meet there.
    "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null
    /usr/lib/wine/wineserver -w
    touch "$WINEPREFIX/.tarnwick-ready"
}

# Starts this prefix's Wine server and its system programs for the whole run, with no terminal attached:
# programs that Wine starts on its own (services, the desktop) keep the stdout of whoever started them,
# and a test runner that waits for its test's output to end would wait for them forever.
tarnwick_start_wine() {
    /usr/lib/wine/wineserver -p
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
}

tarnwick_stop_wine() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
}
