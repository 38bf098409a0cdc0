#!/bin/sh
# Stands in for a test that cannot run on this machine: prints why and exits with the code that
# the tests' SKIP_RETURN_CODE property reports as skipped.
#   skip-test.sh REASON [the test's own command...]
echo "$1"
exit 77
