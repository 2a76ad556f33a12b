#!/bin/bash
# Proves that a crashing, trapping or hanging test program fails the run and names the test.
set -u
exe=$1
wrapper=$STAKKA_SOURCE_DIR/cmake/wine-run.sh
fail=0

expect_failure() {
    local filter=$1 want=$2 limit=$3
    local out rc
    out=$(STAKKA_TEST_TIMEOUT=$limit "$wrapper" "$exe" --gtest_also_run_disabled_tests \
          --gtest_filter="$filter" 2>&1)
    rc=$?
    if [ "$rc" -eq 0 ]; then
        echo "FAIL: $filter exited 0"
        fail=1
    elif ! grep -q -- "$want" <<<"$out"; then
        echo "FAIL: $filter output lacks '$want':"
        echo "$out" | tail -n 20
        fail=1
    else
        echo "ok: $filter -> exit $rc"
    fi
}

expect_failure 'HarnessMisbehaves.DISABLED_NullPointerCrash' 'CRASH: exception .* in test HarnessMisbehaves.DISABLED_NullPointerCrash' 60
expect_failure 'HarnessMisbehaves.DISABLED_IndexOutsideTheWellTraps' 'IndexOutsideTheWellTraps' 60
expect_failure 'HarnessMisbehaves.DISABLED_Hang' 'did not finish' 25
exit $fail
