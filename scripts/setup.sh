#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root; does nothing
# when everything is there already.
set -euo pipefail

# The release build takes MinGW's win32 thread model; osslsigncode and openssl sign it.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev googletest clang-format clang-tidy clang libclang-rt-14-dev
          g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 wine wine32:i386 wine64 python3
          osslsigncode openssl)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
