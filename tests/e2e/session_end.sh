#!/usr/bin/env bash
# Logoff and shutdown under Wine: `wineboot --end-session` asks every window of the desktop, as Windows
# does, and an accepted round ends every program of the Wine server. So each scenario runs in a copy of
# the test prefix of its own, with the tool simulator installed, and is checked from here.
set -u
build="$1"
src="$(cd "$(dirname "$0")/../.." && pwd)"
template="${WINEPREFIX:?the test prefix}"
wine=/usr/lib/wine/wine64
state="$(dirname "$template")/session"
passed=0
failed=0

fail() {
    echo "  FAIL: $*"
    failed_here=1
}

# Log lines of the program without their stamps.
messages() { sed -e 's/\r$//' -e 's/^[^ ]*  [^-]* - //' "$1"; }

journal() {
    local j="$WINEPREFIX/drive_c/ProgramData/VMsim/vmsim-journal.txt"
    [ -f "$j" ] || return 0
    cut -f3,6- "$j" | tr -d '\r'
}

setup() {
    export WINEPREFIX="$state/$1"
    rm -rf "$WINEPREFIX"
    mkdir -p "$state"
    cp -a "$template" "$WINEPREFIX"
    bash "$src/tools/vmsim/install.sh" --product workstation "$build" >/dev/null 2>&1 || fail "simulator install"
    app="$WINEPREFIX/drive_c/tw"
    mkdir -p "$app"
    cp "$build/Tarnwick.exe" "$app/"
    log="$app/Tarnwick.log"
    failed_here=0
}

write_ini() {
    {
        printf '[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n%s[Control]\r\n' "${ini_options:-}"
        for e in "$@"; do printf '  %s\r\n' "$e"; done
    } >"$app/Tarnwick.ini"
}

start_tarnwick() {
    "$wine" 'C:\tw\Tarnwick.exe' "$@" >"$app/wine.out" 2>&1 &
    tarnwick_pid=$!
}

wait_log() { # text, seconds
    local i
    for i in $(seq $(( $2 * 10 ))); do
        grep -qF -- "$1" "$log" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

end_session() { timeout 120 "$wine" wineboot --end-session >/dev/null 2>&1; }

# Milliseconds from now until the program has ended (at most 60 s).
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
wait_end() {
    for _ in $(seq 600); do kill -0 "$tarnwick_pid" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}
# Milliseconds from since until the program's last line of a session end is in the log.
round_ms() {
    wait_log "Session Terminating..." 60 || return 1
    echo $(( $(now_ms) - $1 ))
}

ctl() { "$wine" 'C:\Program Files\VMware\VMware Workstation\vmsim.exe' --ctl "$@" >/dev/null 2>&1; }

# Windows 10 and 11's session manager, played towards the program's window: one line per step in
# $app/manager.txt ("query:80000000 0 12": refused, the handler took 12 ms).
manager() { "$wine" "$build/tests/e2e/session_manager.exe" 'C:\tw\manager.txt' "$@" >/dev/null 2>&1; }


finish() {
    /usr/lib/wine/wineserver -k 2>/dev/null
    wait 2>/dev/null
    if [ "$failed_here" = 0 ]; then
        passed=$((passed + 1)); echo "ok: $1"
    else
        failed=$((failed + 1)); echo "FAILED: $1"; echo "  log:"; sed 's/^/    /' "$log" 2>/dev/null
    fi
    rm -rf "$WINEPREFIX"
}

vmrun='C:\Program Files\VMware\VMware Workstation\vmrun.exe'
tmp='C:\tw\Tarnwick.tmp'
alpha='C:\VMs\Alpha\Alpha.vmx'
beta='C:\VMs\Beta Web\Beta Web.vmx'
dos() { printf '      DosCmd: cmd /c ""%s" %s "%s" > "%s""' "$vmrun" "$1" "$2" "$tmp"; }

# n VMs V1..Vn in the list (a DELAY:10 after the first k), started by /START, whose suspends then take ms
# each and are journalled as they end: ready for a round.
hold_vms() { # name n ms [Options lines] [k]
    setup "$1"
    local i entries=()
    vms=()
    for i in $(seq "$2"); do
        mkdir -p "$WINEPREFIX/drive_c/VMs/V$i"
        printf 'displayName = "V%s"\r\n' "$i" >"$WINEPREFIX/drive_c/VMs/V$i/V$i.vmx"
        vms+=("C:\\VMs\\V$i\\V$i.vmx")
        entries+=("${vms[-1]} = -1")
        [ "$i" = "${5:-}" ] && entries+=("DELAY:10 = -1")
    done
    ini_options="${4:-}" write_ini "${entries[@]}"
    start_tarnwick /START
    wait_log "VMs Started: " 120 || fail "start sequence did not finish"
    ctl inject '*' suspend delay="$3" ends
    ctl clear-journal
    sleep 1.5
}
# The milliseconds the handler of that step took, from $app/manager.txt.
handler_ms() { awk -v s="$1" '$1 == s { print $3 }' "$app/manager.txt" | tr -d '\r' | tail -1; }
suspends() { journal | grep -c $'\tsuspend\t'; }

# The benchmarks of a round use the helpers above, and these.
if [ -n "${SESSION_END_HELPERS_ONLY:-}" ]; then
    # One logoff, from the end request to the program's last line of the session, in $taken_ms.
    timed_logoff() {
        local start ender
        start=$(now_ms)
        end_session &
        ender=$!
        taken_ms=$(round_ms "$start") || fail "the session did not end"
        wait "$ender"
        wait_end || fail "the program did not end"
    }
    sum() { local t=0 v; for v in "$@"; do t=$((t + v)); done; echo "$t"; }
    failures="$state/bench-failures"
    rm -f "$failures"
    # A benchmark whose rounds failed measures nothing: it names them and ends.
    stop_if_rounds_failed() { # benchmark's name
        [ -s "$failures" ] || return 0
        echo "$1: cannot measure; these rounds failed (see above):" >&2
        cat "$failures" >&2
        exit 1
    }
    return 0
fi

# 1. After a /START run the end is refused, the VMs suspended, and the end re-issued and carried out.
setup start-then-end
write_ini "$alpha = -1" "$beta = -1"
start_tarnwick /START
wait_log "VMs Started: " 30 || fail "start sequence did not finish"
sleep 1.5
round_start=$(now_ms)
end_session &
ender=$!
normal_round=$(round_ms "$round_start")
wait "$ender"
wait_end || fail "the program did not end with the session"
got=$(messages "$log" | sed -n '/^VMs Started: /,$p' | tail -n +2)
kind=$(messages "$log" | sed -n 's/^Denying Windows \(.*\) request so we can suspend VMs\.$/\1/p' | head -1)
[ -n "$kind" ] || fail "no refusal in the log"
want=$(cat <<TXT
Denying Windows $kind request so we can suspend VMs.
Windows $kind aborted.
Suspending cataloged VMs in reverse specified order...
  Suspending VM: $beta
$(dos suspend "$beta")
  Suspending VM: $alpha
$(dos suspend "$alpha")
Suspending any other running VMs...
      DosCmd: cmd /c ""$vmrun" list > "$tmp""

Suspension complete; ready for shutdown.
Re-initiating Windows $kind.
  (request accepted)
Okaying Windows $kind request.
Windows $kind occuring; Session Terminating...
TXT
)
[ "$got" = "$want" ] || { fail "log after the start:"; diff <(echo "$want") <(echo "$got") | sed 's/^/    /'; }
want_journal=$(printf 'vmrun\tstart\t%s\nvmrun\tstart\t%s\nvmrun\tsuspend\t%s\nvmrun\tsuspend\t%s\nvmrun\tlist' \
    "$alpha" "$beta" "$beta" "$alpha")
[ "$(journal)" = "$want_journal" ] || { fail "journal:"; journal | sed 's/^/    /'; }
finish "a logoff after /START suspends the VMs, then ends the session"

# 2. Nothing started: the end is okayed at once.
setup nothing-started
write_ini "$alpha = -1"
start_tarnwick
wait_log "Started; Command line: " 30 || fail "no start"
sleep 2
end_session
for _ in $(seq 100); do kill -0 "$tarnwick_pid" 2>/dev/null || break; sleep 0.1; done
got=$(messages "$log" | tail -n +2)
kind=$(echo "$got" | sed -n 's/^Okaying Windows \(.*\) request\.$/\1/p' | head -1)
[ -n "$kind" ] || fail "the end was not okayed"
[ "$got" = "$(printf 'Okaying Windows %s request.\nWindows %s occuring; Session Terminating...' "$kind" "$kind")" ] ||
    fail "unexpected lines: $got"
[ -z "$(journal)" ] || fail "a tool was run: $(journal)"
finish "without /START the end is okayed at once"

# 3. Another program refuses every round: one suspension, a bounded number of re-issues, no loop.
# Wine asks one process at a time, in process-id order, and stops at the first refusal; the refuser is
# started after the program so that the program is asked first, as its shutdown level asks Windows.
setup refused-by-another
write_ini "$alpha = -1"
start_tarnwick /START
wait_log "VMs Started: " 30 || fail "start sequence did not finish"
"$wine" "$build/tests/e2e/session_refuser.exe" 'C:\tw\refused.txt' >/dev/null 2>&1 &
sleep 1.5
end_session
sleep 8
suspensions=$(grep -c "Suspension complete; ready for shutdown." "$log")
reissues=$(grep -c "Re-initiating Windows" "$log")
[ "$suspensions" = 1 ] || fail "$suspensions suspensions"
[ "$reissues" -ge 1 ] && [ "$reissues" -le 3 ] || fail "$reissues re-issues"
[ -s "$app/refused.txt" ] || fail "the other program was never asked"
before=$(wc -l <"$log")
sleep 4
[ "$(wc -l <"$log")" = "$before" ] || fail "the log keeps growing: a loop"
[ "$(journal | grep -c $'\tsuspend\t')" = 1 ] || fail "suspends: $(journal)"
finish "another program that refuses every end causes no loop"

# 4. A logoff during the start sequence: nothing is started once the suspension has begun.
setup end-during-start
write_ini "$alpha = -1" "DELAY:4 = -1" "$beta = -1"
start_tarnwick /START
wait_log "Sleeping for 4 seconds..." 30 || fail "the delay was not reached"
end_session
sleep 6
journal | grep -qF $'\tstart\t'"$beta" && fail "a VM was started after the suspension began"
grep -q "Suspension complete; ready for shutdown." "$log" || fail "no suspension"
journal | grep -qF $'\tsuspend\t'"$alpha" || fail "Alpha was not suspended"
finish "a logoff during the start sequence starts nothing more"

# Seconds since midnight of a journal line's stamp.
stamp() { awk -F'\t' '{ split($1, d, " "); split(d[2], t, ":"); printf "%.3f\n", t[1] * 3600 + t[2] * 60 + t[3] }'; }

# 5. A logoff while a VM is still starting: refused until the start has returned and that VM is
# suspended; only then is the session re-issued and let through.
setup end-during-slow-start
write_ini "$alpha = -1" "$beta = -1"
ctl inject "$alpha" vmrun:start delay=6000 || fail "injection"
start_tarnwick /START
wait_log "Starting VM: $alpha" 30 || fail "the start was not reached"
sleep 1
end_session
ended=0
for _ in $(seq 300); do kill -0 "$tarnwick_pid" 2>/dev/null || { ended=1; break; }; sleep 0.1; done
[ "$ended" = 1 ] || fail "the session did not end"
j="$WINEPREFIX/drive_c/ProgramData/VMsim/vmsim-journal.txt"
started_at=$(grep -F $'\tstart\t'"$alpha" "$j" | head -1 | stamp)
suspended_at=$(grep -F $'\tsuspend\t'"$alpha" "$j" | tail -1 | stamp)
# The start answers 6 s after it was called; the suspension that counts comes after that.
awk -v a="$started_at" -v b="$suspended_at" 'BEGIN { exit !(b != "" && b - a >= 5.5) }' ||
    fail "the last suspend of Alpha ($suspended_at) did not follow its start ($started_at)"
journal | grep -qF $'\tstart\t'"$beta" && fail "Beta was started"
order=$(messages "$log" | grep -E '^(VM started while a suspension ran; suspending it now: |Re-initiating Windows |Okaying Windows )' |
    sed -e 's/: .*//' -e 's/ Windows .*//')
[ "$order" = "$(printf 'VM started while a suspension ran; suspending it now\nRe-initiating\nOkaying')" ] ||
    fail "order: $order"
finish "a logoff during a VM's start ends the session only after that VM is suspended"

# 6. A log that cannot be written: the end is okayed at once, with no box to answer first.
setup unwritable-log
write_ini "$alpha = -1"
start_tarnwick
wait_log "Started; Command line: " 30 || fail "no start"
sleep 2
rm -f "$log" && mkdir "$log"
t0=$(date +%s%N)
end_session
ended=0
for _ in $(seq 100); do kill -0 "$tarnwick_pid" 2>/dev/null || { ended=1; break; }; sleep 0.1; done
t1=$(date +%s%N)
[ "$ended" = 1 ] || fail "the program did not end with the session"
[ $(( (t1 - t0) / 1000000 )) -lt 5000 ] || fail "the round took $(( (t1 - t0) / 1000000 )) ms"
[ -z "$(journal)" ] || fail "a tool was run: $(journal)"
log=/dev/null
finish "with an unwritable log the end is okayed at once"

# 7. A suspend that hangs: its tool ends at the limit with its cmd, the other VMs are suspended, and the
# session ends; the round takes the limit longer than a normal one, not more.
setup hung-suspend
ini_options=$'  ToolTimeout = 5\r\n' write_ini "$alpha = -1" "$beta = -1"
start_tarnwick /START
wait_log "VMs Started: " 30 || fail "start sequence did not finish"
ctl inject "$beta" suspend hang times=1
sleep 1.5
round_start=$(now_ms)
end_session &
ender=$!
hung_round=$(round_ms "$round_start")
wait "$ender"
wait_end || fail "the program did not end with the session"
got=$(messages "$log" | sed -n '/^Windows .* aborted\.$/,$p' | grep -vx '')
kind=$(messages "$log" | sed -n 's/^Denying Windows \(.*\) request so we can suspend VMs\.$/\1/p' | head -1)
want=$(cat <<TXT
Windows $kind aborted.
Suspending cataloged VMs in reverse specified order...
  Suspending VM: $beta
$(dos suspend "$beta")
      Ended after the limit of 5 seconds: $(dos suspend "$beta" | cut -c15-)
Error suspending "$beta".
  Exit code: 1460
  Command output: 
  Suspending VM: $alpha
$(dos suspend "$alpha")
Suspending any other running VMs...
      DosCmd: cmd /c ""$vmrun" list > "$tmp""
  Suspending VM: $beta
$(dos suspend "$beta")
Suspension complete; ready for shutdown.
Re-initiating Windows $kind.
  (request accepted)
Okaying Windows $kind request.
Windows $kind occuring; Session Terminating...
TXT
)
[ "$got" = "$want" ] || { fail "log of the round:"; diff <(echo "$want") <(echo "$got") | sed 's/^/    /'; }
echo "  round: ${hung_round} ms with the hung suspend, ${normal_round} ms without"
# Wine on a loaded machine varies from round to round; more than half again is no such variation.
[ "${hung_round:-0}" -ge 5000 ] || fail "the round did not wait for the limit"
[ "${hung_round:-999999}" -le $(( normal_round * 3 / 2 + 5000 + 2000 )) ] ||
    fail "the round took more than the limit longer"
finish "a hung suspend during a logoff is ended at its limit and the session still ends"

# 8. A logoff records the VMs it suspended that the list does not start (Beta, disabled; R&D Lab, not
# listed) in Tarnwick.resume. A /START without the option starts only Alpha and keeps the record as it
# is; one with it starts Beta and R&D Lab again after Alpha and deletes the record.
setup resume-at-logon
gamma='C:\VMs\R&D Lab\R&D Lab.vmx'
resume="$app/Tarnwick.resume"
write_ini "$alpha = -1" "$beta = 0"
ctl set-state "$beta" running
ctl set-state "$gamma" running
start_tarnwick /START
wait_log "VMs Started: " 30 || fail "start sequence did not finish"
sleep 1.5
end_session
wait_end || fail "the program did not end with the session"
want_journal=$(printf 'vmrun\tstart\t%s\nvmrun\tsuspend\t%s\nvmrun\tlist\nvmrun\tsuspend\t%s\nvmrun\tsuspend\t%s' \
    "$alpha" "$alpha" "$beta" "$gamma")
[ "$(journal)" = "$want_journal" ] || { fail "journal of the logoff:"; journal | sed 's/^/    /'; }
[ "$(cat "$resume" 2>/dev/null)" = "$(printf '%s\r\n%s\r\n' "$beta" "$gamma")" ] || fail "record: $(cat -A "$resume")"
cp "$resume" "$app/recorded"
run_start() { # [Options] lines; the count of runs before this one
    ctl clear-journal
    ini_options="$1" write_ini "$alpha = -1" "$beta = 0"
    start_tarnwick /START
    for _ in $(seq 300); do [ "$(grep -c "VMs Started: " "$log")" -gt "$2" ] && break; sleep 0.1; done
    /usr/lib/wine/wineserver -k 2>/dev/null
    wait "$tarnwick_pid" 2>/dev/null
}
run_start "" 1
[ "$(journal)" = "$(printf 'vmrun\tstart\t%s' "$alpha")" ] || fail "without the option: $(journal)"
cmp -s "$resume" "$app/recorded" || fail "without the option the record changed"
[ "$(messages "$log" | grep -cxF 'Not restarting the VMs left running at logoff (the option is off); Tarnwick.resume is kept.')" = 1 ] ||
    fail "no single line on the kept record"
run_start $'  ResumeOthers = -1\r\n' 2
[ "$(journal)" = "$(printf 'vmrun\tstart\t%s\nvmrun\tlist\nvmrun\tstart\t%s\nvmrun\tstart\t%s' "$alpha" "$beta" "$gamma")" ] ||
    { fail "with the option:"; journal | sed 's/^/    /'; }
[ -e "$resume" ] && fail "the record was not deleted"
[ "$(messages "$log" | sed -n 's/^Restarting VM left running at logoff: //p')" = "$(printf '%s\n%s' "$beta" "$gamma")" ] ||
    fail "the log does not name Beta and R&D Lab"
finish "a logoff records the VMs the list does not start, and /START restarts them only with the option"

# 9. Each listed VM by its stop action: Alpha suspends, Beta's guest shuts down within 2 s, R&D Lab's
# refuses and it is suspended instead, 100%PATH% is left running. Nothing failed: no notice holds the end.
setup stop-actions
gamma='C:\VMs\R&D Lab\R&D Lab.vmx'
delta='C:\VMs\100%PATH%\100%PATH%.vmx'
write_ini "$alpha = -1" "$beta = -1" "$gamma = -1" "$delta = -1"
printf '[StopAction]\r\n  %s = shutdown\r\n  %s = shutdown\r\n  %s = leave\r\n' "$beta" "$gamma" "$delta" >>"$app/Tarnwick.ini"
ctl set-shutdown "$beta" 2000
ctl set-shutdown "$gamma" refuse
start_tarnwick /START
wait_log "VMs Started: " 30 || fail "start sequence did not finish"
ctl clear-journal
sleep 1.5
round_start=$(now_ms)
end_session &
stop_round=$(round_ms "$round_start")
wait_end || fail "the program did not end with the session"
got=$(messages "$log" | sed -n '/ aborted\.$/,$p' | grep -E '^(  [A-Z]|    not off|Error)' | grep -v '^  Command output' |
    sed 's/after [0-9]* sec/after N sec/')
want=$(printf '  Leaving VM running: %s\n  Shutting down VM: %s\nError stopping "%s".\n  Exit code: 255\n    not off after N seconds; suspending instead.\n  Shutting down VM: %s\n  Suspending VM: %s' \
    "$delta" "$gamma" "$gamma" "$beta" "$alpha")
[ "$got" = "$want" ] || { fail "log of the round:"; diff <(echo "$want") <(echo "$got") | sed 's/^/    /'; }
[ "$(journal)" = "$(printf 'vmrun\tstop\t%s\tsoft\nvmrun\tsuspend\t%s\nvmrun\tstop\t%s\tsoft\nvmrun\tlist\nvmrun\tsuspend\t%s\nvmrun\tlist' \
    "$gamma" "$gamma" "$beta" "$alpha")" ] || { fail "journal:"; journal | sed 's/^/    /'; }
[ "$(grep -F "$delta" "$WINEPREFIX/drive_c/ProgramData/VMsim/vmsim-state.txt" | cut -f2)" = running ] || fail "100%PATH% not running"
# The guest's 2 s and the round's own work; a notice would hold the end for 10 s more.
[ "${stop_round:-999999}" -lt 10000 ] || fail "the round took ${stop_round} ms"
finish "at a logoff each VM is suspended, shut down or left running by its stop action"

# 10. Windows 10 and 11: the refusal brings no abort while the shutdown screen waits for the user. The
# VMs are suspended all the same, the block reason says how far it got, and the session is re-issued.
hold_vms no-abort 2 1000
round_start=$(now_ms)
manager query:80000000
wait_log "Suspension complete; ready for shutdown." 30 || fail "no suspension"
no_abort_round=$(( $(now_ms) - round_start ))
wait_end || fail "the session did not end"
[ "$(handler_ms query:80000000)" != "" ] && [ "$(cut -d' ' -f2 "$app/manager.txt")" = 0 ] || fail "not refused"
got=$(messages "$log" | sed -n '/^VMs Started: /,/^Re-initiating/p' | tail -n +2 | grep -v '^      DosCmd: ' | grep -vx '')
want=$(cat <<TXT
Denying Windows Logoff request so we can suspend VMs.
Windows Logoff held: suspending VMs without waiting for Cancel.
Suspending cataloged VMs in reverse specified order...
Suspending virtual machines (0 of 2 done)...
  Suspending VM: ${vms[1]}
Suspending virtual machines (1 of 2 done)...
  Suspending VM: ${vms[0]}
Suspending virtual machines (2 of 2 done)...
Suspending any other running VMs...
Suspending virtual machines (2 of 2 done)...
Suspension complete; ready for shutdown.
Re-initiating Windows Logoff.
TXT
)
[ "$got" = "$want" ] || { fail "log of the round:"; diff <(echo "$want") <(echo "$got") | sed 's/^/    /'; }
grep -q "Session Terminating..." "$log" || fail "the session was not let end"
echo "  round: ${no_abort_round} ms for two suspends of 1 s"
[ "$no_abort_round" -le 6000 ] || fail "the suspension took ${no_abort_round} ms"
finish "Windows 10/11: without Cancel the VMs are suspended, the reason shows progress, the session ends"

# 11. A forced ending (Windows Update, shutdown /f): ENDSESSION_CRITICAL, then WM_ENDSESSION(TRUE). The four
# VMs, 2 s to suspend each, are suspended at once inside the first handler; nothing is started again.
hold_vms forced 4 2000
manager query:c0000000 end1:c0000000
echo "  forced: the query's handler took $(handler_ms query:c0000000) ms for four suspends of 2 s"
[ "$(sed -n 1p "$app/manager.txt" | cut -d' ' -f2)" = 1 ] || fail "the forced query was not okayed"
[ "$(handler_ms query:c0000000)" -le 3500 ] || fail "the suspends did not run at once"
[ "$(suspends)" = 4 ] && ! journal | grep -q $'\tstart\t' || fail "journal: $(journal)"
for vm in "${vms[@]}"; do grep -qF "  Suspended: $vm" "$log" || fail "not named: $vm"; done
[ "$(grep -c "Forced Windows Logoff: suspending 4 VMs at once..." "$log")" = 1 ] || fail "not one forced pass"
finish "a forced ending suspends every running VM at once inside the handler"

# 12. "Shut down anyway" after the refusal and one finished suspend: the VMs whose suspend has not begun
# are suspended at once before the handler returns; each VM is suspended once, and nothing re-issued.
hold_vms shut-down-anyway 4 2000
manager query:80000000
wait_log "Suspending virtual machines (1 of 4 done)..." 30 || fail "no first suspend"
manager end1:80000000
echo "  shut down anyway: the handler took $(handler_ms end1:80000000) ms"
[ "$(handler_ms end1:80000000)" -le 3500 ] || fail "the remaining suspends did not run at once"
grep -qF "Forced Windows Logoff: suspending 2 VMs at once..." "$log" || fail "no forced line for the two left"
for vm in "${vms[0]}" "${vms[1]}"; do grep -qF "  Suspended: $vm" "$log" || fail "not named: $vm"; done
sleep 3
[ "$(suspends)" = 4 ] && ! grep -q "Re-initiating" "$log" || fail "journal: $(journal)"
finish "Shut down anyway during the suspension suspends the rest at once"

# 13. ParallelSuspend = 3 with six VMs and a delay between them, in a logoff whose listing fails: at most
# three suspends run at once, none above the delay starts before all below it have ended, the failed
# listing goes to the log instead of a box that would hold the session, and the session ends.
hold_vms parallel 6 2000 $'  ParallelSuspend = 3\r\n' 3
ctl inject '*' list exit=255
end_session
wait_end || fail "the program did not end with the session"
runs=$(journal | awk -F'\t' '$2 ~ /^suspend/ { print NR "\t" $2 "\t" $3 }')
most=$(echo "$runs" | awk -F'\t' '$2 == "suspend" { if (++n > m) m = n } $2 != "suspend" { n-- } END { print m + 0 }')
last_below=$(echo "$runs" | grep -E $'suspend:end\t.*V[456]\\.vmx$' | tail -1 | cut -f1)
first_above=$(echo "$runs" | grep -E $'suspend\t.*V[123]\\.vmx$' | head -1 | cut -f1)
[ "$most" = 3 ] && [ "$(suspends)" = 6 ] && [ "${last_below:-99}" -lt "${first_above:-0}" ] ||
    { fail "at most $most at once, or out of the delay's order:"; echo "$runs" | sed 's/^/    /'; }
grep -qF "VMRun failed, exit code: 255" "$log" || fail "the failed listing is not in the log"
grep -q "Session Terminating..." "$log" || fail "the session did not end"
finish "ParallelSuspend = 3 runs three at once, keeps the delay's order; a failed listing shows no box"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
