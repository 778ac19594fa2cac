#!/usr/bin/env bash
# Measures setup.exe against a peer installer (made here with makensis, compression off) and a
# bare copy loop on this machine's Wine: size and imports, installation and uninstallation of
# 50 files / 500 MB answered at once and as a person answers (timed from the last answer to the
# end), the growth with files, bytes and journal length (with a plot), the first box, the example
# product, and the parts the time goes to. Medians of ROUNDS runs (default 5). Beside this build,
# in the same rounds: the same product bound to its files (tools/package.sh, unsigned), and with
# --previous the setup.exe of an earlier commit (each REF built in a tree of its own).
#   tools/benchmark.sh [ROUNDS] [--previous REF]...
# The table goes to the terminal and to build/bench/report.txt, the plot to build/bench/plot.png;
# the payload (1.7 GB) stays in build/bench/pool for the next run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rounds=5
previous=()
while [ $# -gt 0 ]; do
    case $1 in
        --previous) previous+=("$2"); shift 2 ;;
        *) rounds=$1; shift ;;
    esac
done
cd "$top"
bash tools/bootstrap.sh nsis gnuplot-nox
[ -f build/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default --target setup bench example_products bind_product >/dev/null

bench=$top/build/bench
pool=$bench/pool
mkdir -p "$pool"

# The payload: random bytes (nothing to gain from compression), made once.
payload() {   # NAME MEGABYTES
    local file=$pool/$1
    if [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" != $(($2 * 1048576)) ]; then
        head -c $(($2 * 1048576)) /dev/urandom > "$file"
    fi
}
for i in $(seq -w 1 50); do payload "10m-$i.bin" 10; payload "1m-$i.bin" 1; done
payload 100m.bin 100
payload 1g.bin 1024

rm -rf "$bench/products" "$bench/demo"
cases=()
# A product: setup.ini, setup.exe and the payload as hard links named f01.bin, f02.bin, ...
product() {   # CASE POOL-FILE... (a link count of its own with --links)
    local name=$1; shift
    local dir=$bench/products/$name links=0
    if [ "$1" = --links ]; then links=1; shift; fi
    mkdir -p "$dir"
    cases+=("$name")
    cp build/src/setup.exe "$dir/"
    {
        printf '[Main]\r\nAppName=Bench %s\r\nAppVersion=1.0\r\n' "${name//,/}"
        # A program group of its own: an existing one stops a later product after a failed run.
        printf 'DefaultProgramGroup=Bench %s\r\nDefaultInstallDir=%%ProgramFilesDir%%\\%%AppName%%\r\n' "${name//,/}"
        printf 'StartMenuFolder=%%CommonProgramsFolder%%\r\nRegisterUninstaller=1\r\n[Files]\r\n'
        local n=0
        for f in "$@"; do
            n=$((n + 1))
            ln "$pool/$f" "$dir/$(printf 'f%02d.bin' $n)"
            printf 'f%02d.bin=%%InstallDir%%\r\n' $n
        done
        if [ $links = 1 ]; then
            printf '[Links]\r\n'
            for i in $(seq 1 $n); do printf 'Link %02d=%%InstallDir%%\\f%02d.bin\r\n' "$i" "$i"; done
        fi
    } > "$dir/setup.ini"
}
tens() { for i in $(seq -w 1 "$1"); do echo "10m-$i.bin"; done; }
product "1 file, 1 MB" 1m-01.bin
product "1 file, 10 MB" 10m-01.bin
product "1 file, 100 MB" 100m.bin
product "1 file, 1 GB" 1g.bin
product "10 files, 100 MB" $(tens 10)
product "50 files, 500 MB" $(tens 50)
# The longest journal: as many files and shortcuts as the script may name.
product "longest journal" --links $(for i in $(seq -w 1 50); do echo "1m-$i.bin"; done)
printf '%s\r\n' "${cases[@]}" > "$bench/cases.txt"

# The variants, each on a copy of a case's product: "NAME|CASE|silent" in variants.txt.
variants=()
variant() {   # NAME CASE SETUP.EXE SILENT
    local dir=$bench/products/$1
    mkdir -p "$dir"
    cp "$bench/products/$2/setup.ini" "$dir/"
    cp "$3" "$dir/setup.exe"
    for f in "$bench/products/$2"/f*.bin; do ln "$f" "$dir/"; done
    variants+=("$1|$2|$4")
}
for ref in "${previous[@]}"; do
    src=$bench/previous/$ref
    rm -rf "$src" "$src-build"
    git worktree add -q --detach "$src" "$ref"
    cmake -S "$src" -B "$src-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE=MinSizeRel -DSETUP_BUILD_TESTS=OFF >/dev/null
    cmake --build "$src-build" --target setup >/dev/null
    cp "$src-build/src/setup.exe" "$bench/setup-$ref.exe"
    git worktree remove --force "$src"
    rm -rf "$src-build"
    variant "1 file, 1 MB, build $ref" "1 file, 1 MB" "$bench/setup-$ref.exe" 0
    variant "50 files, 500 MB, build $ref" "50 files, 500 MB" "$bench/setup-$ref.exe" 0
done
# The main case bound to its files, as a package is.
rm -rf "$bench/package"
bash tools/package.sh "$bench/products/50 files, 500 MB" --out "$bench/package" >/dev/null 2>&1
mv "$bench/package/50 files, 500 MB" "$bench/products/50 files, 500 MB, bound"
variants+=("50 files, 500 MB, bound|50 files, 500 MB|1")
printf '%s\r\n' "${variants[@]}" > "$bench/variants.txt"

# The peer installer of each case: the same files, a shortcut to its uninstaller and an entry in
# the list of installed programs, with its standard pages (a folder, its progress, Close); and its
# smallest possible installer, for the size.
peer() {   # PRODUCT-FOLDER
    {
        echo 'Target amd64-unicode'
        echo 'SetCompress off'
        echo 'Name "Peer Bench"'
        echo 'OutFile "peer.exe"'
        echo 'InstallDir "$PROGRAMFILES64\Peer Bench"'
        echo 'RequestExecutionLevel admin'
        echo 'Page directory'; echo 'Page instfiles'; echo 'UninstPage uninstConfirm'; echo 'UninstPage instfiles'
        echo 'Function .onInit'; echo '  SetShellVarContext all'; echo 'FunctionEnd'
        echo 'Function un.onInit'; echo '  SetShellVarContext all'; echo 'FunctionEnd'
        echo 'Section'
        echo '  SetOutPath "$INSTDIR"'
        for f in "$1"/f*.bin; do echo "  File \"$(basename "$f")\""; done
        echo '  WriteUninstaller "$INSTDIR\uninst.exe"'
        echo '  CreateDirectory "$SMPROGRAMS\Peer Bench"'
        echo '  CreateShortcut "$SMPROGRAMS\Peer Bench\Uninstall.lnk" "$INSTDIR\uninst.exe"'
        echo '  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Peer Bench" "DisplayName" "Peer Bench"'
        echo '  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Peer Bench" "UninstallString" "$INSTDIR\uninst.exe"'
        echo 'SectionEnd'
        echo 'Section Uninstall'
        for f in "$1"/f*.bin; do echo "  Delete \"\$INSTDIR\\$(basename "$f")\""; done
        echo '  Delete "$INSTDIR\uninst.exe"'
        echo '  RMDir "$INSTDIR"'
        echo '  Delete "$SMPROGRAMS\Peer Bench\Uninstall.lnk"'
        echo '  RMDir "$SMPROGRAMS\Peer Bench"'
        echo '  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Peer Bench"'
        echo 'SectionEnd'
    } > "$1/peer.nsi"
    makensis -V1 "$1/peer.nsi"
}
for name in "${cases[@]}"; do peer "$bench/products/$name"; done
printf 'Target amd64-unicode\nSetCompress off\nOutFile "peer-empty.exe"\nSection\nSectionEnd\n' > "$bench/peer-empty.nsi"
makensis -V1 "$bench/peer-empty.nsi"

cp -a build/examples/demo "$bench/demo"
cp build/src/setup.exe "$bench/demo/"

. tools/harness/wine-env
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' '; }
{
    echo "Machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)," \
         "$(free -g | awk '/^Mem:/ {print $2}') GB, $(df -T "$bench" | awk 'NR==2 {print $2}') disk, $("$WINE64" --version)"
    echo
    echo "| size | bytes | imports |"
    echo "|---|---|---|"
    echo "| setup.exe | $(stat -c %s build/src/setup.exe) | $(imports build/src/setup.exe)|"
    echo "| setup.exe bound to the 500 MB product | $(stat -c %s "$bench/products/50 files, 500 MB, bound/setup.exe") | |"
    for ref in "${previous[@]}"; do echo "| setup.exe of $ref | $(stat -c %s "$bench/setup-$ref.exe") | |"; done
    echo "| peer's empty installer (amd64, no compression) | $(stat -c %s "$bench/peer-empty.exe") | $(imports "$bench/peer-empty.exe")|"
    echo
} | tee "$bench/report.txt"

harness=$top/build/harness
if [ ! -f "$harness/xvfb.pid" ] || ! kill -0 "$(cat "$harness/xvfb.pid")" 2>/dev/null; then
    tools/harness/harness "$harness" start >/dev/null
    trap 'tools/harness/harness "$harness" stop >/dev/null' EXIT
fi
status=0
SETUP_HARNESS_DIR="$harness" SETUP_TEST_TIMEOUT=5400 \
    tools/harness/wine-run build/tools/bench/bench.exe "$bench" "$rounds" > "$bench/raw.txt" || status=$?
grep -v $'\t' "$bench/raw.txt" | tee -a "$bench/report.txt"
# Time against payload size, as a user times it, on both axes' log scales.
if [ -s "$bench/plot.dat" ]; then
    gnuplot <<EOF
set terminal pngcairo size 1200,480 font "sans,10"
set output "$bench/plot.png"
set datafile missing "-1"
set logscale xy
set xrange [0.7:1500]
set xlabel "payload (MB)"
set ylabel "time (ms)"
set key top left
set grid
set multiplot layout 1,2
set title "Installation: from the last answer to the end"
plot "$bench/plot.dat" using 1:2 with linespoints title "setup.exe", "" using 1:4 with linespoints title "peer", \\
     "" using 1:6 with linespoints title "CopyFileA loop"
set title "Uninstallation: from the last answer to the end"
plot "$bench/plot.dat" using 1:3 with linespoints title "setup.exe", "" using 1:5 with linespoints title "peer", \\
     "" using 1:7 with linespoints title "DeleteFileA loop"
unset multiplot
EOF
    echo "The plot: $bench/plot.png"
fi
echo
echo "Every measurement is in $bench/raw.txt, the table in $bench/report.txt"
exit $status
