#!/usr/bin/env bash
# Runs a command under valgrind (memcheck) and passes its status on. A virtual CPU may hide a feature whose
# instructions it still runs (RDTSCP on some cloud machines): a system library that uses it as it loads (libhwy,
# through libjxl and libavcodec) then stops valgrind before any test ran. memcheck cannot run on such a
# machine at all, so the test says so and is skipped (77), never passed.
set -u
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$@" 2>"$log"
status=$?
cat "$log" >&2
if [ "$status" -ne 0 ] && grep -q "valgrind: Unrecognised instruction" "$log" &&
  grep -A1 "valgrind: Unrecognised instruction" "$log" | grep -Eq " \(in /(usr/)?lib/"; then
  echo "SKIPPED: valgrind cannot run this machine's system libraries (an instruction its virtual CPU does not announce)"
  exit 77
fi
exit "$status"
