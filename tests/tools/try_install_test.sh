#!/usr/bin/env bash
# The try-install tool on the example product: a clean run passes and reports nothing left; a file
# put into the installation folder between the two runs is reported and fails the run.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "try_install_test: $1"; cat "$2"; exit 1; }

bash "$top/tools/try-install.sh" "$top/examples/demo" --out "$out/clean" > "$out/clean.txt" 2>&1 ||
    fail "the example product does not pass" "$out/clean.txt"
grep -q "^=== PASSED: .*, 0 thing(s) left" "$out/clean.txt" || fail "a clean run reports something left" "$out/clean.txt"
[ "$(ls "$out/clean"/*.png | wc -l)" -ge 6 ] || fail "a picture of every window is missing" "$out/clean.txt"

if bash "$top/tools/try-install.sh" "$top/examples/demo" --plant notes.txt --out "$out/planted" > "$out/planted.txt" 2>&1; then
    fail "a leftover file passes" "$out/planted.txt"
fi
grep -q '^  + file C:\\Program Files\\Demo Audio Suite\\notes.txt' "$out/planted.txt" ||
    fail "the leftover file is not reported" "$out/planted.txt"
echo "try_install_test: passed"
