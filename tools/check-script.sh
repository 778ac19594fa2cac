#!/usr/bin/env bash
# Checks a product's setup.ini with the installer's own reader and checks, under Wine, and
# reports every problem at once as "setup.ini:LINE: error|warning: text", then a summary.
#   tools/check-script.sh [--strict] PRODUCT_DIR
# Exit status 0 when there is no error (with --strict, no warning either), 1 otherwise. The same
# check runs on Windows as build/tools/checker/check-script.exe beside setup.exe.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'; }
case "${1:-}" in --help|-h) usage; exit 0 ;; esac
strict=()
[ "${1:-}" = "--strict" ] && { strict=(--strict); shift; }
[ $# -eq 1 ] || { usage >&2; exit 2; }
product=$(cd "$1" 2>/dev/null && pwd) || { echo "check-script: no folder $1" >&2; exit 2; }

cd "$top"
bash tools/bootstrap.sh
[ -f build/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default --target check_script example_products >/dev/null
# The project's own examples are checked as staged by the build, beside their programs.
staged="$top/build/examples/$(basename "$product")"
if [ "$product" = "$top/examples/$(basename "$product")" ] && [ -d "$staged" ]; then
    product=$staged
fi
# Wine sees the host's root as drive Z:. The findings come in UTF-8, and go to the terminal in
# its own encoding.
SETUP_HARNESS_DIR=${SETUP_HARNESS_DIR:-$top/build/harness} SETUP_NO_DISPLAY=1 \
    tools/harness/wine-run build/tools/checker/check-script.exe "${strict[@]}" "Z:${product//\//\\}" </dev/null 2>/dev/null |
    tr -d '\r' | iconv -f UTF-8 -t "$(locale charmap)//TRANSLIT"
exit "${PIPESTATUS[0]}"
