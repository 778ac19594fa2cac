#!/usr/bin/env bash
# Packaging as an author does it, with a throw-away certificate: the example product packaged
# into OUT (where the end-to-end rows of e2e_package find it), every executable signed and its
# signature verified, a vendor's signed DLL left as it was, the one .zip holding the folder; and a
# product whose setup.ini has errors not packaged at all.
#   package_test.sh OUT
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package_test: $1"; [ -f "${2:-}" ] && cat "$2"; exit 1; }

certificate() {   # NAME: NAME.p12 and NAME.pem in the work folder
    openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=$1" -addext "extendedKeyUsage=codeSigning" \
        -keyout "$work/$1.key" -out "$work/$1.pem" 2>>"$work/openssl.txt" &&
        openssl pkcs12 -export -inkey "$work/$1.key" -in "$work/$1.pem" -passout "file:$work/password" \
            -out "$work/$1.p12" 2>>"$work/openssl.txt" || fail "openssl cannot make a certificate" "$work/openssl.txt"
}
echo "not a real secret" > "$work/password"
certificate Author
certificate Vendor

# A DLL that its vendor signed, beside the product's own unsigned programs.
cp -r "$top/build/examples/demo" "$work/demo"
osslsigncode sign -pkcs12 "$work/Vendor.p12" -readpass "$work/password" -h sha256 -in "$work/demo/demoaudio.dll" \
    -out "$work/demo/vendor.dll" > "$work/vendor.txt" 2>&1 || fail "cannot sign the vendor's DLL" "$work/vendor.txt"
cp "$work/demo/vendor.dll" "$work/vendor.dll"

rm -rf "$out"
bash "$top/tools/package.sh" "$work/demo" --out "$out" --pkcs12 "$work/Author.p12" --password-file "$work/password" \
    > "$work/package.txt" 2>&1 || fail "the example is not packaged" "$work/package.txt"
grep -q "not a real secret" "$work/package.txt" && fail "the output shows the password" "$work/package.txt"
for file in setup.exe demoaudio.dll demoaudiosvc.exe; do
    osslsigncode verify -CAfile "$work/Author.pem" -in "$out/demo/$file" > "$work/verify.txt" 2>&1 &&
        grep -q "Signature verification: ok" "$work/verify.txt" || fail "$file is not signed by the author" "$work/verify.txt"
done
cmp -s "$out/demo/vendor.dll" "$work/vendor.dll" || fail "the vendor's signed DLL was changed" "$work/package.txt"
osslsigncode verify -CAfile "$work/Vendor.pem" -in "$out/demo/vendor.dll" > "$work/verify.txt" 2>&1 ||
    fail "the vendor's signature does not verify" "$work/verify.txt"
grep -q "kept the signature of demo/vendor.dll" "$work/package.txt" || fail "the kept signature is not reported" "$work/package.txt"
python3 - "$out/demo.zip" > "$work/zip.txt" <<'PY' || fail "the .zip does not hold the folder" "$work/zip.txt"
import sys, zipfile
names = set(zipfile.ZipFile(sys.argv[1]).namelist())
print(sorted(names))
sys.exit(0 if {'demo/setup.exe', 'demo/setup.ini', 'demo/config/mixer.ini', 'demo/vendor.dll'} <= names else 1)
PY

bash "$top/tools/package.sh" "$top/build/tests/fixtures/mistakes" --out "$work/mistakes" > "$work/mistakes.txt" 2>&1 &&
    fail "a product with errors is packaged" "$work/mistakes.txt"
grep -q "nothing was packaged" "$work/mistakes.txt" && [ ! -e "$work/mistakes/mistakes" ] ||
    fail "a product with errors left a package" "$work/mistakes.txt"
echo "package_test: passed"
