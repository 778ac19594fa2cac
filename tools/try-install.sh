#!/usr/bin/env bash
# Tries a product's setup.ini under Wine as a user would: checks the script, installs the product,
# uninstalls it from the installed copy, and reports every box and dialog (with a picture), the
# journal, the trace logs and what is left on the machine, in report.txt and report.html.
#   tools/try-install.sh PRODUCT_DIR [--windows VERSION] [--advanced] [--install-dir DIR]
#                        [--group NAME] [--answer "TEXT=BUTTON"]... [--anyway]
#                        [--upgrade-from OLD_PRODUCT_DIR] [--silent] [--out DIR]
#   --windows VERSION    the Windows version every program of the runs is told: win7 (the
#                        default), win10, winxp64, win2k, nt40 or win98
#   --advanced           tick "I am an advanced user"
#   --install-dir DIR    type this installation folder
#   --group NAME         type this Start Menu folder
#   --answer TEXT=BUTTON press BUTTON in a box whose text holds TEXT (else the user goes ahead,
#                        never overwrites, never keeps a log, never restarts Windows)
#   --anyway             install even when the setup.ini checker finds errors
#   --upgrade-from DIR   install the earlier version in DIR first, then this one over it
#   --silent             install and uninstall with -s, as a deployment tool does: any window
#                        fails the try (--install-dir is passed as -d)
#   --out DIR            where the report and the pictures go (build/try-install/<product>)
# Exit status 0 only when setup.ini has no error, both runs succeeded and nothing is left that
# the design does not leave.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '5,21p' "$0" | sed 's/^# \{0,1\}//'; }
if [ "${1:-}" = "--help" ] || [ "${1:-}" = "-h" ]; then usage; exit 0; fi
[ $# -ge 1 ] || { usage >&2; exit 2; }
product=$(cd "$1" 2>/dev/null && pwd) || { echo "try-install: no folder $1" >&2; exit 2; }
shift
[ -f "$product/setup.ini" ] || { echo "try-install: no setup.ini in $product" >&2; exit 2; }

out="$top/build/try-install/$(basename "$product")"
pass=()
while [ $# -gt 0 ]; do
    case $1 in
        --out) out=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
        --windows|--install-dir|--group|--answer|--plant) pass+=("$1" "$2"); shift 2 ;;
        --upgrade-from) pass+=("$1" "$(cd "$2" 2>/dev/null && pwd)") || { echo "try-install: no folder $2" >&2; exit 2; }; shift 2 ;;
        --advanced|--anyway|--silent) pass+=("$1"); shift ;;
        --help|-h) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
done

cd "$top"
bash tools/bootstrap.sh
[ -f build/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default --target setup try_install example_products >/dev/null
# The project's own examples are tried as staged by the build, beside their programs.
staged="$top/build/examples/$(basename "$product")"
if [ "$product" = "$top/examples/$(basename "$product")" ] && [ -d "$staged" ]; then
    product=$staged
fi

rm -rf "$out"
mkdir -p "$out"
harness=${SETUP_HARNESS_DIR:-$top/build/harness}
if [ ! -f "$harness/xvfb.pid" ] || ! kill -0 "$(cat "$harness/xvfb.pid")" 2>/dev/null; then
    tools/harness/harness "$harness" start >/dev/null
    trap 'tools/harness/harness "$harness" stop >/dev/null' EXIT
fi

status=0
. tools/harness/wine-env
# The report is written in the code page Wine gives its programs; report.txt is UTF-8.
SETUP_HARNESS_DIR="$harness" SETUP_EXE="$top/build/src/setup.exe" SETUP_TEST_TIMEOUT=600 \
    tools/harness/wine-run build/tools/robot/try_install.exe "$product" "$out" "${pass[@]}" \
    | iconv -f "$(wine_codepage)" -t UTF-8 | tee "$out/report.txt" || status=$?
echo
echo "The report and a picture of every window are in $out (open report.html)"
exit $status
