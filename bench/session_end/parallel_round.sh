#!/usr/bin/env bash
# Eight listed VMs whose suspend takes 2 s each under the simulator.
#  - A logoff with ParallelSuspend = 4 against one with 1 (one after another): each round's time from
#    the end request to the program's last line of the session, and the ratio of the two.
#  - A forced ending of the same eight ("Shut down anyway" right after the refusal): the time from
#    WM_ENDSESSION(TRUE) to its handler's return, as the stand-in for Windows' session manager measures
#    it, against one suspend.
# Rounds alternate, so that the machine's load falls on both alike. Needs the Wine prefix and display of
# scripts/wine-env.sh.
#   bench/session_end/parallel_round.sh <win64 build dir> [pairs of rounds, default 2]
set -u
build="$(cd "$1" && pwd)"
pairs="${2:-2}"
suspend_ms=2000
SESSION_END_HELPERS_ONLY=1 source "$(dirname "$0")/../../tests/e2e/session_end.sh" "$build"

# Every VM suspended once: a round that skipped some would be shorter for it.
all_suspended() { [ "$(suspends)" = 8 ] || fail "suspends: $(suspends) of 8"; }

logoff_round() { # ParallelSuspend; prints the round's milliseconds, and all else on stderr
    local ms
    {
        hold_vms "bench-logoff-$1" 8 $suspend_ms $'  ParallelSuspend = '"$1"$'\r\n'
        timed_logoff
        ms=$taken_ms
        all_suspended
        [ "$failed_here" = 0 ] || echo "logoff round with ParallelSuspend = $1" >>"$failures"
        finish "logoff round, ParallelSuspend = $1"
    } >&2
    echo "${ms:-0}"
}

forced_round() { # prints the handler's milliseconds
    local ms
    {
        hold_vms bench-forced 8 $suspend_ms
        manager query:80000000 end1:80000000
        ms=$(handler_ms end1:80000000)
        grep -qF "Forced Windows Logoff: suspending 8 VMs at once..." "$log" || fail "no forced suspension"
        all_suspended
        [ "$failed_here" = 0 ] || echo "forced round" >>"$failures"
        finish "forced round"
    } >&2
    echo "${ms:-0}"
}

one=()
four=()
forced=()
for r in $(seq "$pairs"); do
    one+=("$(logoff_round 1)")
    four+=("$(logoff_round 4)")
    forced+=("$(forced_round)")
    echo "pair $r: one after another ${one[-1]} ms, four at once ${four[-1]} ms, forced ${forced[-1]} ms" >&2
done
stop_if_rounds_failed parallel_round
o=$(( $(sum "${one[@]}") / pairs ))
f=$(( $(sum "${four[@]}") / pairs ))
x=$(( $(sum "${forced[@]}") / pairs ))
echo "mean logoff round: ParallelSuspend = 1: $o ms; ParallelSuspend = 4: $f ms"
awk -v f="$f" -v o="$o" 'BEGIN { printf "ratio ParallelSuspend 4 / 1: %.3f (at most 0.35 wanted)\n", f / o }'
echo "mean forced ending, WM_ENDSESSION(TRUE) to the handler's return: $x ms; one suspend: $suspend_ms ms"
awk -v x="$x" -v s="$suspend_ms" 'BEGIN { printf "ratio forced handler / one suspend: %.3f (at most 1.5 wanted)\n", x / s }'
