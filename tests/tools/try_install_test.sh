#!/usr/bin/env bash
# The author's tools on real folders: the checker's verdicts; try-install on the example product
# (a clean run, its report.html rendered by a real browser); on a script with errors (stopped
# before anything is installed); on a product with a mistake the installer cannot see, run as
# Windows 10 with a file left behind (the warning on top, every program told Windows 10, the
# leftover reported); the packaged example (the package's own setup.exe) over an older version of
# itself; the example deployed silently;
# and a product named with a letter beyond ASCII, its setup.ini in UTF-8, whose report page shows
# what the customer gets.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "try_install_test: $1"; [ -f "${2:-}" ] && cat "$2"; exit 1; }
browser() {
    timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
        --disable-component-update --disable-sync --user-data-dir="$out/chromium" "$@" 2>>"$out/chromium.txt"
}

bash "$top/tools/check-script.sh" "$top/examples/demo" > "$out/check-demo.txt" && grep -qx "setup.ini: no problems found" "$out/check-demo.txt" ||
    fail "the example product does not check clean" "$out/check-demo.txt"
bash "$top/tools/check-script.sh" "$top/build/tests/fixtures/mistakes" > "$out/check-mistakes.txt" &&
    fail "a script with errors checks with exit status 0" "$out/check-mistakes.txt"
grep -qx "setup.ini: 14 errors, 10 warnings" "$out/check-mistakes.txt" || fail "the mistakes are not all found" "$out/check-mistakes.txt"

bash "$top/tools/try-install.sh" "$top/examples/demo" --out "$out/clean" > "$out/clean.txt" 2>&1 ||
    fail "the example product does not pass" "$out/clean.txt"
grep -q "^=== PASSED: .*, 0 thing(s) left" "$out/clean.txt" || fail "a clean run reports something left" "$out/clean.txt"
for picture in $(grep -o '[0-9][0-9]-[a-z]*\.png' "$out/clean.txt" | sort -u); do
    [ -s "$out/clean/$picture" ] || fail "the report names $picture, which is not there" "$out/clean.txt"
done
browser --virtual-time-budget=10000 --dump-dom "file://$out/clean/report.html" > "$out/dom.html" ||
    fail "the browser cannot open report.html" "$out/chromium.txt"
grep -q 'data-missing-pictures="0"' "$out/dom.html" || fail "report.html misses a picture" "$out/dom.html"
grep -q "PASSED: installation succeeded" "$out/dom.html" || fail "report.html does not give the verdict" "$out/dom.html"
browser --window-size=1200,2400 --screenshot="$out/report.png" "file://$out/clean/report.html" >/dev/null ||
    fail "the browser cannot render report.html" "$out/chromium.txt"
[ "$(stat -c %s "$out/report.png" 2>/dev/null || echo 0)" -gt 50000 ] || fail "report.html renders as an empty page" "$out/chromium.txt"
sed -n '/=== What the customer ends up with/,/=== Uninstallation/p' "$out/clean.txt" | grep -q "Drivers32|wave1 = sz demoaudio.dll" ||
    fail "the summary does not show the legacy driver" "$out/clean.txt"

bash "$top/tools/try-install.sh" "$top/build/tests/fixtures/mistakes" --out "$out/stopped" > "$out/stopped.txt" 2>&1 &&
    fail "a script with errors passes" "$out/stopped.txt"
grep -q "^=== STOPPED: setup.ini has errors" "$out/stopped.txt" || fail "a script with errors is not stopped" "$out/stopped.txt"
grep -q "^=== Installation" "$out/stopped.txt" && fail "a script with errors is installed" "$out/stopped.txt"

cp -r "$top/build/examples/demo" "$out/misspelt"
sed -i 's/^HelpFile=/HelpFlie=/' "$out/misspelt/setup.ini"
bash "$top/tools/try-install.sh" "$out/misspelt" --windows win10 --plant notes.txt --out "$out/planted" > "$out/planted.txt" 2>&1 &&
    fail "a leftover file passes" "$out/planted.txt"
sed -n '/=== The setup.ini checker/,/=== Installation/p' "$out/planted.txt" |
    grep -q "^setup.ini:[0-9]*: warning: HelpFlie: unknown key; did you mean HelpFile?" ||
    fail "the misspelt key is not reported on top" "$out/planted.txt"
[ "$(grep -c 'OS version: 10\.0\.' "$out/planted.txt")" -eq 3 ] || fail "a program of the run is not told Windows 10" "$out/planted.txt"
grep -q '^  + file C:\\Program Files\\Demo Audio Suite\\notes.txt' "$out/planted.txt" ||
    fail "the leftover file is not reported" "$out/planted.txt"
cp -r "$top/build/examples/demo" "$out/demo-0.9"
sed -i 's/^AppVersion=.*/AppVersion=0.9/' "$out/demo-0.9/setup.ini"
bash "$top/tools/try-install.sh" "$PACKAGED_PRODUCT" --upgrade-from "$out/demo-0.9" --out "$out/upgrade" > "$out/upgrade.txt" 2>&1 ||
    fail "the packaged example over its older version does not pass" "$out/upgrade.txt"
grep -q 'lies in "C:\\Product", setup.exe beside its setup.ini: the package.s own, made for Demo Audio Suite 1.0' "$out/upgrade.txt" ||
    fail "try-install does not run the package's own setup.exe" "$out/upgrade.txt"
grep -q "^=== PASSED: the earlier version's installation succeeded, installation succeeded, .*, 0 thing(s) left" "$out/upgrade.txt" ||
    fail "the upgrade's verdict" "$out/upgrade.txt"
grep -q 'text "Demo Audio Suite 0.9 is installed in ' "$out/upgrade.txt" || fail "the earlier version was not found" "$out/upgrade.txt"
bash "$top/tools/try-install.sh" "$top/examples/demo" --silent --out "$out/silent" > "$out/silent.txt" 2>&1 ||
    fail "the example deployed silently does not pass" "$out/silent.txt"
grep -q '^=== Installation: "C:\\Product\\setup.exe" -s' "$out/silent.txt" && grep -q '^=== Uninstallation: .* -u -s' "$out/silent.txt" ||
    fail "the silent runs are not started with -s" "$out/silent.txt"
grep -q "^--- \(message box\|window\)" "$out/silent.txt" && fail "a silent run showed a window" "$out/silent.txt"
grep -qF 'QuietUninstallString: C:\Program Files\Demo Audio Suite\setup.exe -u -s' "$out/silent.txt" ||
    fail "the entry has no QuietUninstallString" "$out/silent.txt"
mkdir -p "$out/mueller"
printf '[Main]\r\nAppName=M\xc3\xbcller Studio\r\nAppVersion=1.0\r\nDefaultProgramGroup=M\xc3\xbcller Studio\r\nDefaultInstallDir=%%ProgramFilesDir%%\\%%AppName%%\r\nStartMenuFolder=%%CommonProgramsFolder%%\r\nRegisterUninstaller=1\r\n[Files]\r\nstudio.txt=%%InstallDir%%\r\n[Links]\r\nStudio=%%InstallDir%%\\studio.txt,%%InstallDir%%\\studio.ini -quiet\r\n' > "$out/mueller/setup.ini"
echo studio > "$out/mueller/studio.txt"
bash "$top/tools/try-install.sh" "$out/mueller" --out "$out/mueller-out" > "$out/mueller.txt" 2>&1 || fail "M\xc3\xbcller Studio does not pass" "$out/mueller.txt"
browser --virtual-time-budget=10000 --dump-dom "file://$out/mueller-out/report.html" > "$out/mueller-dom.html" ||
    fail "the browser cannot open the report" "$out/chromium.txt"
for shown in "DisplayName: M\xc3\xbcller Studio 1.0" "M\xc3\xbcller Studio\\Studio.lnk -&gt; C:\\Program Files\\M\xc3\xbcller Studio\\studio.txt (arguments: C:\\Program Files\\M\xc3\xbcller Studio\\studio.ini -quiet)" \
             'href="#line-2"' 'id="line-2"'; do
    grep -qF "$(printf "$shown")" "$out/mueller-dom.html" || fail "the report does not show $(printf "$shown")" "$out/mueller-dom.html"
done
echo "try_install_test: passed"
