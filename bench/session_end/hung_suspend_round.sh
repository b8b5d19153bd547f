#!/usr/bin/env bash
# A logoff with 20 listed VMs under the simulator, one of whose suspends hangs past ToolTimeout, against
# the same round without the hang. Prints each round's time from the end request to the program's last
# line of the session, and the ratio of the hung round to the plain one plus the limit (a ratio of 1
# means the hang cost the limit and nothing more). Rounds alternate, so that the machine's load falls
# on both alike. Needs the Wine prefix and display of scripts/wine-env.sh.
#   bench/session_end/hung_suspend_round.sh <win64 build dir> [pairs of rounds, default 3]
set -u
build="$(cd "$1" && pwd)"
pairs="${2:-3}"
limit=5
SESSION_END_HELPERS_ONLY=1 source "$(dirname "$0")/../../tests/e2e/session_end.sh" "$build"

vm() { printf 'C:\\VMs\\V%02d\\V%02d.vmx' "$1" "$1"; }

round() { # hang: 0 or 1; prints the round's milliseconds, and all else on stderr
    local ms
    {
        setup "bench-$1-$2"
        local i entries=()
        for i in $(seq 20); do
            mkdir -p "$WINEPREFIX/drive_c/VMs/$(printf 'V%02d' "$i")"
            printf 'config.version = "8"\r\n' >"$WINEPREFIX/drive_c/VMs/$(printf 'V%02d/V%02d.vmx' "$i" "$i")"
            entries+=("$(vm "$i") = -1")
        done
        ini_options=$'  ToolTimeout = '"$limit"$'\r\n' write_ini "${entries[@]}"
        start_tarnwick /START
        wait_log "VMs Started: " 300 || fail "start sequence did not finish"
        [ "$1" = 1 ] && ctl inject "$(vm 7)" suspend hang times=1
        sleep 1.5
        timed_logoff
        ms=$taken_ms
        if [ "$1" = 1 ]; then grep -q "Ended after the limit of $limit seconds" "$log" || fail "no hang seen"; fi
        # Every VM was started and suspended: a round that skipped some would be shorter for it.
        [ "$(journal | grep -c $'\tstart\t')" = 20 ] || fail "not every VM was started"
        [ "$(journal | grep -c $'\tsuspend\t')" -ge 20 ] || fail "not every VM was suspended"
        cp "$log" "$state/last-round-hang$1.log" # the last round of each kind, for a look afterwards
        [ "$failed_here" = 0 ] || echo "round hang=$1 of pair $2" >>"$failures"
        finish "round hang=$1"
    } >&2
    echo "${ms:-0}"
}

plain=()
hung=()
for r in $(seq "$pairs"); do
    plain+=("$(round 0 "$r")")
    hung+=("$(round 1 "$r")")
    echo "pair $r: plain ${plain[-1]} ms, hung ${hung[-1]} ms" >&2
done
stop_if_rounds_failed hung_suspend_round
p=$(( $(sum "${plain[@]}") / pairs ))
h=$(( $(sum "${hung[@]}") / pairs ))
echo "mean plain round: $p ms; mean hung round: $h ms; limit: $((limit * 1000)) ms"
awk -v h="$h" -v p="$p" -v l="$((limit * 1000))" 'BEGIN { printf "ratio hung / (plain + limit): %.3f\n", h / (p + l) }'
