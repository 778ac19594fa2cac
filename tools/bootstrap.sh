#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and any named as arguments (the
# benchmark names its peer installer's compiler). Quick when they are present.
set -euo pipefail

packages=(
    cmake ninja-build
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    googletest
    wine64 xvfb xauth
    imagemagick
    openssl osslsigncode
    chromium
    python3
    locales
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A Japanese Windows (ANSI and OEM code page 932) is Wine started in this locale.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "bootstrap: making the locale ja_JP.UTF-8"
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
