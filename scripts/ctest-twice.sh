#!/usr/bin/env bash
# Runs the tests of a CTest preset once; a test that fails is run a second time on its own, and where it
# is a GoogleTest binary, with only its cases that failed. Wine on a loaded 2-core machine misses a
# timing now and then, but a test that needs its second try is never hidden: each one is printed as
#   FLAKY: <test> (<ctest entry>)
# at the end and in build/<preset>/flaky.txt. A test that fails both times fails the command.
#   scripts/ctest-twice.sh <preset> [more ctest arguments, for the first run]
set -uo pipefail
preset="$1"
shift
root="$(cd "$(dirname "$0")/.." && pwd)"
logs="$root/build/$preset/ctest-logs"
flaky="$root/build/$preset/flaky.txt"
mkdir -p "$logs"
: >"$flaky"

first="$logs/first.log"
ctest --preset "$preset" --output-on-failure "$@" 2>&1 | tee "$first"
[ "${PIPESTATUS[0]}" = 0 ] && exit 0

# The entries that failed, from CTest's summary: "	  3 - e2e (Failed)".
mapfile -t failed < <(sed -n '/^The following tests FAILED:/,$p' "$first" |
    sed -n 's/^[[:space:]]*[0-9][0-9]* - \(.*\) (\([A-Za-z ]*\))[[:space:]]*$/\2:\1/p')
if [ ${#failed[@]} = 0 ]; then
    echo "ctest-twice: $preset failed before any test failed" >&2
    exit 1
fi

# The cases of one entry that failed: GoogleTest's "[  FAILED  ] Suite.Case (12 ms)" lines and the
# session scenarios' "FAILED: what" lines, from the entry's output, which CTest prints after its status
# line.
cases_of() {
    awk -v name="$1" '
        / Test +#[0-9]+: / { inside = ($0 ~ ("Test +#[0-9]+: " name " \\.")) ; next }
        inside && /^\[  FAILED  \] [^ ]+\.[^ ]+/ { n = $4; sub(/,$/, "", n); print n }
        inside && /^FAILED: / { sub(/^FAILED: /, ""); print }
    ' "$first" | awk '!seen[$0]++'
}

status=0
for failure in "${failed[@]}"; do
    kind="${failure%%:*}"
    entry="${failure#*:}"
    mapfile -t cases < <(cases_of "$entry")
    gtest=()
    for c in "${cases[@]}"; do [[ "$c" =~ ^[A-Za-z0-9_/]+\.[A-Za-z0-9_/]+$ ]] && gtest+=("$c"); done
    echo "== second try: $entry${cases:+ (${cases[*]})}"
    again="$logs/again-$entry.log"
    filter=()
    # A binary that crashed or ran out of time may have left cases unreported: it runs whole again.
    if [ "$kind" = Failed ] && [ ${#gtest[@]} -gt 0 ] && [ ${#gtest[@]} = ${#cases[@]} ]; then
        filter=(env "GTEST_FILTER=$(IFS=:; echo "${gtest[*]}")")
    fi
    regex="^$(printf '%s' "$entry" | sed 's/[][\.*^$+?(){}|]/\\&/g')\$"
    "${filter[@]}" ctest --preset "$preset" --output-on-failure -R "$regex" 2>&1 | tee "$again"
    if [ "${PIPESTATUS[0]}" = 0 ]; then
        if [ ${#filter[@]} -gt 0 ] || { [ ${#cases[@]} -gt 0 ] && [ "$kind" = Failed ]; }; then
            for c in "${cases[@]}"; do echo "FLAKY: $c ($entry)" >>"$flaky"; done
        else
            echo "FLAKY: $entry ($kind${cases:+; it had failed: ${cases[*]}})" >>"$flaky"
        fi
    else
        echo "FAILED twice: $entry" >&2
        status=1
    fi
done
if [ -s "$flaky" ]; then
    echo "== tests that passed only on their second try ($preset):"
    cat "$flaky"
fi
exit $status
