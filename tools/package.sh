#!/usr/bin/env bash
# Makes a product's distributable, the one file a customer downloads: checks setup.ini (an error
# stops it), copies the product folder, signs each .exe, .dll and .sys of the product that carries
# no signature yet, binds a setup.exe of the product's own to setup.ini and to every file the
# installation copies or hands to Windows (SHA-256, computed by the installer's own hashing), with
# the product's name, version, publisher and icon in its version resource, signs it, and zips the
# folder.
#   tools/package.sh PRODUCT_DIR --out DIR [--icon FILE.ico]
#                    [--pkcs12 FILE | --pkcs11-module MODULE --key ID --cert CERT]
#                    [--password-file FILE] [--timestamp URL]
# The signing options are the build's (SETUP_SIGN_* in build/CMakeCache.txt) unless given here;
# without any the package is made unsigned, with a warning. Writes DIR/NAME (the folder) and
# DIR/NAME.zip, NAME being the product folder's name. Exit status 0 when both are written.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

usage() { sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; }
case "${1:-}" in --help|-h) usage; exit 0 ;; "") usage >&2; exit 2 ;; esac
product=$(cd "$1" 2>/dev/null && pwd) || { echo "package: no folder $1" >&2; exit 2; }
shift
out="" icon="" pkcs12="" module="" key="" cert="" password="" timestamp="" given=0
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || { usage >&2; exit 2; }
    case $1 in
        --out) out=$2 ;;
        --icon) icon=$(cd "$(dirname "$2")" && pwd)/$(basename "$2") ;;
        --pkcs12) pkcs12=$2; given=1 ;;
        --pkcs11-module) module=$2; given=1 ;;
        --key) key=$2 ;;
        --cert) cert=$2 ;;
        --password-file) password=$2 ;;
        --timestamp) timestamp=$2 ;;
        *) usage >&2; exit 2 ;;
    esac
    shift 2
done
[ -n "$out" ] || { usage >&2; exit 2; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
[ -z "$icon" ] || [ -f "$icon" ] || { echo "package: no icon $icon" >&2; exit 2; }

cd "$top"
bash tools/bootstrap.sh
[ -f build/build.ninja ] || cmake --preset default >/dev/null
if [ $given = 0 ]; then   # the build's own signing options
    cached() { sed -n "s/^$1:[A-Z]*=//p" build/CMakeCache.txt; }
    pkcs12=$(cached SETUP_SIGN_PKCS12) module=$(cached SETUP_SIGN_PKCS11_MODULE) key=$(cached SETUP_SIGN_KEY)
    cert=$(cached SETUP_SIGN_CERT) password=$(cached SETUP_SIGN_PASSWORD_FILE) timestamp=$(cached SETUP_SIGN_TIMESTAMP_URL)
fi
cmake --build --preset default --target check_script bind_product example_products >/dev/null
# The project's own examples are packaged as staged by the build, beside their programs.
staged="$top/build/examples/$(basename "$product")"
if [ "$product" = "$top/examples/$(basename "$product")" ] && [ -d "$staged" ]; then
    product=$staged
fi

if ! bash tools/check-script.sh "$product"; then
    echo "package: setup.ini has errors; nothing was packaged" >&2
    exit 1
fi

name=$(basename "$product")
folder=$out/$name
rm -rf "$folder" "$out/$name.zip"
cp -r "$product" "$folder"
rm -f "$folder/setup.exe"

signing=0
[ -n "$pkcs12" ] || [ -n "$module" ] && signing=1
[ $signing = 1 ] || echo "package: WARNING: no certificate given: nothing is signed (Windows 11's Smart App Control blocks unsigned programs)" >&2
sign() {   # FILE
    cmake -DFILE="$1" -DPKCS12="$pkcs12" -DPKCS11_MODULE="$module" -DKEY="$key" -DCERT="$cert" \
          -DPASSWORD_FILE="$password" -DTIMESTAMP_URL="$timestamp" -DDESCRIPTION="$app" -P cmake/sign.cmake >/dev/null
    echo "package: signed ${1#$out/}"
}
app=$(sed -n 's/^[[:space:]]*AppName[[:space:]]*=[[:space:]]*//p' "$folder/setup.ini" | head -1 | tr -d '\r')
# An executable signed already (a Microsoft-signed driver, a vendor's DLL) keeps its signature.
if [ $signing = 1 ]; then
    while IFS= read -r -d '' file; do
        if osslsigncode extract-signature -in "$file" -out "$out/.signature" >/dev/null 2>&1; then
            echo "package: kept the signature of ${file#$out/}"
        else
            sign "$file"
        fi
        rm -f "$out/.signature"
    done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.sys' \) -print0 | sort -z)
fi

# The binding and the version resource, from the signed files; then the product's setup.exe.
package=build/package
mkdir -p "$package"
rm -f "$package/binding.txt" "$package/product-version.rc"
SETUP_HARNESS_DIR=${SETUP_HARNESS_DIR:-$top/build/harness} SETUP_NO_DISPLAY=1 \
    tools/harness/wine-run build/tools/package/bind-product.exe "Z:${folder//\//\\}" "Z:${top//\//\\}\\build\\package" \
    </dev/null 2>/dev/null | tr -d '\r' > "$package/bind.txt" || { cat "$package/bind.txt" >&2; echo "package: cannot bind $name" >&2; exit 1; }
{
    echo '// Written by tools/package.sh: the product'"'"'s icon, version resource and binding.'
    echo "IDI_SETUP ICON \"${icon:-$top/src/ui/setup.ico}\""
    echo '#include "product-version.rc"'
    echo "BINDING RCDATA \"$top/$package/binding.txt\""
} > "$package/product.rc"
cmake --build --preset default --target setup_bound > "$package/build.txt" 2>&1 || { cat "$package/build.txt" >&2; exit 1; }
cp build/src/setup_bound.exe "$folder/setup.exe"
[ $signing = 0 ] || sign "$folder/setup.exe"
echo "package: $name/setup.exe is bound to $(wc -l < "$package/bind.txt") file(s): $(grep -o 'setup_bound.exe: [0-9]* bytes' "$package/build.txt")"

(cd "$out" && python3 -m zipfile -c "$name.zip" "$name")
echo "package: wrote $out/$name.zip"
