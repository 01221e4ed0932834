#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 or 13, as root; installs nothing
# when everything is there already. Beyond installing packages it changes the host in
# two ways:
# - it adds the i386 architecture to dpkg, for Wine's 32-bit side (wine32:i386);
# - on a kernel that runs no 32-bit x86 programs itself, it makes them run under qemu's
#   emulator. Before it does, it says all that this changes (CHANGES THIS HOST): the
#   binfmt_misc mount, the qemu-user-static package's registrations of the other
#   architectures it emulates, which come back at every boot, and its own registration
#   of qemu-i386, until reboot. TAVREL_NO_BINFMT=1 makes it refuse that instead, before
#   it touches anything.
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")

# Debian 12 brings GCC 12 and Wine 8, Debian 13 GCC 14 and Wine 10; the package names
# below are the same on both (the unversioned ones follow each release's toolchain).
# Where a name comes to differ between them, choose it by this release.
release=$(. /etc/os-release && echo "${PRETTY_NAME:-$ID $VERSION_ID}")
case $(. /etc/os-release && echo "$ID ${VERSION_ID:-}") in
"debian 12" | "debian 13") echo "setup: found $release" ;;
*) echo "setup: found $release; the project is tried on Debian 12 and 13 only: going on" >&2 ;;
esac

# The release build takes MinGW's win32 thread model; osslsigncode and openssl sign it;
# wixl, msitools and libmsi's Python bindings build the MSI, gcab opens its cabinet.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev googletest clang-format clang-tidy clang libclang-rt-dev
          g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 wine wine32:i386 wine64 python3
          osslsigncode openssl wixl msitools gir1.2-libmsi-1.0 python3-gi gcab)

# A list that a mirror cannot serve right now leaves the one apt-get had, if any: the
# install below says so if that is not enough.
update_package_lists() {
    apt-get update -qq || echo "setup: apt-get update could not fetch every package list; going on" >&2
}

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
    update_package_lists
    # A mirror in the middle of a sync may serve one list out of step (the security
    # updates of one architecture, say), and Wine's two sides then seem to conflict: the
    # release's own versions, which every mirror holds for both, still install.
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
        apt-get install -y -qq --no-install-recommends -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" \
            "${missing[@]}" >/dev/null
}

# qemu_foreign_architectures: the architectures that the qemu-user-static package
# registers with binfmt_misc (the binfmt.d files it brings), read from the packages
# apt-get would install with it, downloaded into a folder of our own: on Debian 13 it is
# a transitional package, and its qemu-user-binfmt dependency holds them, as links. To
# find those packages apt-get refreshes its package lists first, the one change it makes,
# and says so before.
qemu_foreign_architectures() {
    local cache deb
    echo "setup: CHANGES THIS HOST: apt-get update refreshes apt's package lists, to read what qemu-user-static registers." >&2
    cache=$(mktemp -d)
    mkdir "$cache/partial"
    update_package_lists
    apt-get install -y -qq --download-only --no-install-recommends -o Dir::Cache::archives="$cache" \
        qemu-user-static >/dev/null
    for deb in "$cache"/*.deb; do dpkg-deb -c "$deb"; done |
        sed -n 's| -> .*||; s|.*/usr/lib/binfmt\.d/qemu-\(.*\)\.conf$|\1|p' | sort -u | tr '\n' ' '
    rm -rf "$cache"
}

# Where the kernel runs no 32-bit programs, Wine's 32-bit loader and the i386 packages'
# own maintainer scripts run only under qemu's emulation: register it before installing
# any of them. The Windows tests then run on a 64-bit build (see test.sh).
binfmt=/proc/sys/fs/binfmt_misc
if ! bash "$here/runs-i386.sh" && ! bash "$here/runs-i386.sh" --emulated; then
    if [ "${TAVREL_NO_BINFMT:-}" = 1 ]; then
        cat >&2 <<END
setup: This kernel runs no 32-bit x86 programs itself, and Wine's 32-bit side needs them,
setup: but TAVREL_NO_BINFMT=1 forbids registering qemu's emulator for them on this host.
setup: Unset it to let setup.sh do it, or register an emulator for them yourself.
END
        exit 1
    fi
    # Every change is told before the first is made.
    changes=()
    mount_binfmt=
    if [ ! -f "$binfmt/register" ]; then
        mount_binfmt=yes
        changes+=("It mounts binfmt_misc at $binfmt, until reboot.")
    fi
    if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'ok installed'; then
        foreign=$(qemu_foreign_architectures)
        changes+=("It installs qemu-user-static, which registers qemu with binfmt_misc for the
            other architectures it emulates: ${foreign% }. These come back at every boot
            (systemd-binfmt reads /usr/lib/binfmt.d) until the package is removed (apt-get
            purge qemu-user-static); where binfmt-support is installed, outside a container,
            the package registers them at once too.")
    fi
    register_i386=
    if [ ! -f "$binfmt/qemu-i386" ]; then
        register_i386=yes
        changes+=("It registers qemu-i386 with binfmt_misc: every 32-bit x86 program on this
            host then runs under qemu's emulator, until reboot. To undo it sooner, as root:
            echo -1 >$binfmt/qemu-i386")
    fi
    if [ ${#changes[@]} -gt 0 ]; then
        {
            echo "setup: This kernel runs no 32-bit x86 programs itself, and Wine's 32-bit side needs them."
            echo "setup: CHANGES THIS HOST, starting now:"
            for change in "${changes[@]}"; do
                tr -s '\n ' '  ' <<<"$change" | fmt -w 80 | sed '1s/^/setup: - /; 2,$s/^/setup:   /'
            done
            echo "setup: TAVREL_NO_BINFMT=1 makes setup.sh refuse these changes instead."
        } >&2
    fi
    if [ -n "$mount_binfmt" ]; then mount -t binfmt_misc binfmt_misc "$binfmt"; fi
    install_packages qemu-user-static
    if [ -n "$register_i386" ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            >"$binfmt/register"
    fi
fi
if ! bash "$here/runs-i386.sh"; then
    bash "$here/runs-i386.sh" --emulated || {
        echo "setup: 32-bit x86 programs do not run even under $binfmt/qemu-i386" >&2
        exit 1
    }
    # The tests' 64-bit build, and the release's settings for its normal run (win32).
    install_packages g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32
fi

install_packages "${packages[@]}"
