#!/usr/bin/env bash
# Builds everything and runs every test (unit tests and end-to-end tests under Wine).
# Extra arguments go to ctest, e.g. tools/test.sh -R e2e_shell
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash tools/bootstrap.sh
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default "$@"
