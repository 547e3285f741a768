#!/bin/sh
# Says after a ctest run how many tests were skipped, and why: a case skips when the machine
# lacks what it needs (GTEST_SKIP with the reason), and the run must not hide that.
# Usage: skipped-tests.sh BUILD_DIR
log="${1:-build}/Testing/Temporary/LastTest.log"
[ -r "$log" ] || exit 0
# Each test's output sits between "Output:" and "<end of output>"; GoogleTest prints a skip's
# reason on the lines after "file:line: Skipped", up to its "[  SKIPPED ]" line.
awk '
    /^[0-9]+\/[0-9]+ Test: / { name = $3; next }
    /^Output:$/ { inside = 1; reason = ""; reading = 0; skipped = 0; next }
    /^<end of output>$/ {
        inside = 0
        if (skipped) {
            if (reason == "") reason = "(no reason given)"
            count++; by[reason]++
            if (!(reason in first)) first[reason] = name
        }
        next
    }
    !inside { next }
    /: Skipped$/ { reading = 1; next }
    /^\[  SKIPPED \]/ { skipped = 1; reading = 0; next }
    reading && /^\[/ { reading = 0 }
    reading && NF { reason = reason (reason == "" ? "" : " ") $0 }
    END {
        if (!count) { print "No test was skipped."; exit }
        printf "%d test%s skipped on this machine:\n", count, count == 1 ? " was" : "s were"
        for (r in by) printf "  %d (e.g. %s): %s\n", by[r], first[r], r
    }
' "$log"
