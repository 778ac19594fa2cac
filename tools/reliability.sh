#!/usr/bin/env bash
# The reliability suite in its full form, with the figures it found. The test command runs each
# part in a short form; this runs them at full length, one part or all of them.
#   tools/reliability.sh [leftovers|faults|kills|fuzz|libraries|concurrent|all]
# Environment: KILL_POINTS (default 20), FUZZ_INPUTS (default 10000 journals), FUZZ_SEED
# (default: a fresh one, printed, so that a failure can be replayed).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
part=${1:-all}

bash tools/bootstrap.sh
[ -f build/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default >/dev/null || exit 1
mkdir -p build/reliability

failed=0
# One test program through CTest, which knows its environment; the figures it prints are kept.
run_test() {
    local name=$1 filter=$2 figures=$3 log=build/reliability/$1.log
    if ! GTEST_FILTER=$filter ctest --preset default -R "^$name\$" -V > "$log" 2>&1; then
        failed=1
        echo "  FAILED: see $log"
    fi
    grep -E "$figures" "$log" | sed 's/^[0-9]*: /  /'
}

# The example product cut down to some of its features: setup.ini loses the lines of the others.
combination() {
    local name=$1 drop=$2 dir=build/reliability/$1
    rm -rf "$dir" "build/reliability/$name-report"
    cp -r build/examples/demo "$dir"
    [ -z "$drop" ] || grep -Ev "^($drop)" examples/demo/setup.ini > "$dir/setup.ini"
    bash tools/try-install.sh "$dir" --out "build/reliability/$name-report" > "build/reliability/$name.txt" 2>&1
    local status=$?
    local left=$(grep -o '[0-9]* thing(s) left' "build/reliability/$name.txt" | head -1)
    printf '  %-15s %s%s\n' "$name" "${left:-no report}" "$([ $status = 0 ] || echo ", FAILED: see build/reliability/$name.txt")"
    [ $status = 0 ] || failed=1
}

leftovers() {
    echo "Zero leftovers: install and uninstall of each feature combination"
    combination files-only "RegisterUninstaller|DeviceName|MmeDriver|Service|demoaudio"
    combination uninstaller "DeviceName|MmeDriver|Service|demoaudio"
    combination service "RegisterUninstaller|DeviceName|MmeDriver|demoaudio.dll"
    combination legacy-driver "RegisterUninstaller|Service|demoaudiosvc"
    combination all ""
}

faults() {
    echo "Every step fails cleanly: one real fault per step"
    run_test e2e_faults '*' '^[0-9]*: \[ *(OK|FAILED) *\]|tests? ran'
}

kills() {
    echo "Killed at any moment: ${KILL_POINTS:=20} evenly spread kill points"
    KILL_POINTS=$KILL_POINTS run_test e2e_kills '*' 'kill [0-9]+ of|kill points'
}

fuzz() {
    : "${FUZZ_SEED:=$(date +%s)}"
    echo "Hostile input: ${FUZZ_INPUTS:=10000} mutated journals replayed in a sandbox, seed $FUZZ_SEED"
    FUZZ_SEED=$FUZZ_SEED FUZZ_INPUTS=$FUZZ_INPUTS run_test fuzz_hostile_input '*' 'corpus seed|\[ *(OK|FAILED) *\]|on input'
}

libraries() {
    echo "Libraries from the right place: planted copies are never loaded"
    run_test e2e_uninstall 'PlantedLibraries.*' '\[ *(OK|FAILED) *\]'
}

concurrent() {
    echo "Two uninstallers of one folder at once"
    run_test e2e_uninstall 'TwoUninstallers.*' '\[ *(OK|FAILED) *\]'
}

case $part in
    leftovers|faults|kills|fuzz|libraries|concurrent) $part ;;
    all) leftovers; faults; kills; fuzz; libraries; concurrent ;;
    *) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
exit $failed
