#!/bin/sh
# Runs one Windows test program under Wine for ctest (CMAKE_CROSSCOMPILING_EMULATOR).
# The program's output goes to a file first and is printed afterwards: if Wine's helper
# processes inherited ctest's stdout, ctest would wait for them.
. "$(dirname "$0")/wine-env.sh"
log_dir=$STAKKA_BUILD_DIR/testlogs
mkdir -p "$log_dir"
log=$(mktemp "$log_dir/run.XXXXXX")
# A hung program must fail the run with its name: stop it a little before ctest would.
limit=${STAKKA_TEST_TIMEOUT:-300}
limit=$((limit > 20 ? limit - 10 : limit))
timeout -k 5 "$limit" wine "$@" >"$log" 2>&1 </dev/null
rc=$?
cat "$log"
rm -f "$log"
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
  echo "wine-run: $1 did not finish within ${limit}s (hang?)" >&2
fi
exit $rc
