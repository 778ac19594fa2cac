#!/usr/bin/env bash
# Signing as a build option: a throw-away code-signing certificate made with openssl, a build of
# setup.exe configured with it, and the signature verified; the default build carries none.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "signing_test: $1"; [ -f "$2" ] && cat "$2"; exit 1; }

openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=Throw-away Test Signer" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>"$work/openssl.txt" ||
    fail "openssl cannot make a certificate" "$work/openssl.txt"
echo "not a real secret" > "$work/password"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout "file:$work/password" \
    -out "$work/signer.p12" 2>>"$work/openssl.txt" || fail "openssl cannot make the PKCS#12 file" "$work/openssl.txt"

cmake -S "$top" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DSETUP_BUILD_TESTS=OFF -DSETUP_SIGN_PKCS12="$work/signer.p12" \
    -DSETUP_SIGN_PASSWORD_FILE="$work/password" > "$work/configure.txt" 2>&1 || fail "cannot configure" "$work/configure.txt"
cmake --build "$work/build" --target setup > "$work/build.txt" 2>&1 || fail "the signed build fails" "$work/build.txt"
grep -q "signed .*setup.exe" "$work/build.txt" || fail "the build did not sign" "$work/build.txt"
grep -q "not a real secret" "$work/build.txt" && fail "the build log shows the password" "$work/build.txt"

osslsigncode verify -CAfile "$work/cert.pem" -in "$work/build/src/setup.exe" > "$work/verify.txt" 2>&1 ||
    fail "the signature does not verify" "$work/verify.txt"
grep -q "Signature verification: ok" "$work/verify.txt" || fail "the signature does not verify" "$work/verify.txt"
grep -qi "sha256" "$work/verify.txt" || fail "the digest is not SHA-256" "$work/verify.txt"

osslsigncode verify -CAfile "$work/cert.pem" -in "$top/build/src/setup.exe" > "$work/unsigned.txt" 2>&1 &&
    fail "the default build carries a signature" "$work/unsigned.txt"
echo "signing_test: passed"
