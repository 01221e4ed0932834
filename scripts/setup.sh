#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root; installs nothing
# when everything is there already. Beyond installing packages it changes the host in
# two ways:
# - it adds the i386 architecture to dpkg, for Wine's 32-bit side (wine32:i386);
# - on a kernel that runs no 32-bit x86 programs itself, it registers qemu's emulator
#   with binfmt_misc for every 32-bit x86 program on the host, until reboot, and says so
#   with the way to undo it (echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386).
#   TAVREL_NO_BINFMT=1 makes it refuse that instead.
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")

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
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture to dpkg, for Wine's 32-bit side"
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Where the kernel runs no 32-bit programs, Wine's 32-bit loader and the i386 packages'
# own maintainer scripts run only under qemu's emulation: register it before installing
# any of them. The Windows tests then run on a 64-bit build (see test.sh).
if ! bash "$here/runs-i386.sh"; then
    binfmt=/proc/sys/fs/binfmt_misc
    [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ ! -f "$binfmt/qemu-i386" ]; then
        if [ "${TAVREL_NO_BINFMT:-}" = 1 ]; then
            cat >&2 <<EOF
setup: This kernel runs no 32-bit x86 programs itself, and Wine's 32-bit side needs them,
setup: but TAVREL_NO_BINFMT=1 forbids registering qemu's emulator for them on this host.
setup: Unset it to let setup.sh register it until reboot, or register one yourself.
EOF
            exit 1
        fi
        install_packages qemu-user-static g++-mingw-w64-x86-64-posix
        # The package may have registered it already, through the system's binfmt set-up.
        by="the qemu-user-static package (the system may register it again at boot)"
        if [ ! -f "$binfmt/qemu-i386" ]; then
            printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
                >"$binfmt/register"
            by="setup.sh, until reboot"
        fi
        cat >&2 <<EOF
setup: This kernel runs no 32-bit x86 programs itself, and Wine's 32-bit side needs them.
setup: CHANGED THIS HOST: every 32-bit x86 program on it now runs under qemu's emulator
setup: (binfmt_misc entry qemu-i386), registered by $by.
setup: To undo it, as root: echo -1 >$binfmt/qemu-i386
setup: TAVREL_NO_BINFMT=1 makes setup.sh refuse this change instead.
EOF
    fi
    bash "$here/runs-i386.sh" --emulated || {
        echo "setup: 32-bit x86 programs do not run even under $binfmt/qemu-i386" >&2
        exit 1
    }
    install_packages g++-mingw-w64-x86-64-posix
fi

install_packages "${packages[@]}"
