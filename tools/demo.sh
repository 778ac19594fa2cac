#!/usr/bin/env bash
# The main job: builds setup.exe and installs and uninstalls the bundled example product under
# Wine, answering as a user would. Prints every box and dialog, the trace logs and what the runs
# left behind; pictures of the boxes go to build/demo/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash tools/bootstrap.sh
cmake --preset default >/dev/null
cmake --build --preset default --target setup demo_driver

harness=build/harness
pictures=build/demo
rm -rf "$pictures"
mkdir -p "$pictures"
tests/harness/harness "$harness" start
trap 'tests/harness/harness "$harness" stop >/dev/null' EXIT

SETUP_HARNESS_DIR="$top/$harness" SETUP_EXE="$top/build/src/setup.exe" SETUP_TEST_TIMEOUT=300 \
    tests/harness/wine-run build/tools/demo/demo_driver.exe "$top/examples/demo" "$top/$pictures"

echo
echo "Pictures of what the user saw:"
ls -1 "$pictures"/*.png 2>/dev/null || echo "(none)"
