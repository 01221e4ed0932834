#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root; installs nothing
# when everything is there already.
set -euo pipefail

# The release build takes MinGW's win32 thread model; osslsigncode and openssl sign it;
# wixl, msitools and libmsi's Python bindings build the MSI, gcab opens its cabinet.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev googletest clang-format clang-tidy clang libclang-rt-14-dev
          g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 wine wine32:i386 wine64 python3
          osslsigncode openssl wixl msitools gir1.2-libmsi-1.0 python3-gi gcab)

install_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_packages "${packages[@]}"

# Wine runs the 32-bit program through its 32-bit Linux loader. Some kernels run 64-bit
# programs only; there the loader runs under qemu's user-mode emulation, registered for
# 32-bit x86 programs (the registration does not outlive a reboot, so check every time).
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    # The Windows tests then run on a 64-bit build (see test.sh).
    install_packages qemu-user-static g++-mingw-w64-x86-64-posix
    binfmt=/proc/sys/fs/binfmt_misc
    [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ ! -f "$binfmt/qemu-i386" ]; then
        echo "Running 32-bit x86 programs under qemu-i386: this kernel runs none itself"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            >"$binfmt/register"
    fi
    /lib/ld-linux.so.2 --version >/dev/null
fi
