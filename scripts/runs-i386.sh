#!/usr/bin/env bash
# Exits 0 when the kernel runs 32-bit x86 programs itself, 1 when it does not (some
# virtual machines' kernels run 64-bit programs only). With --emulated, an emulator
# registered with binfmt_misc counts too. The one place that decides which kind of
# machine this is, for setup.sh and test.sh alike.
#
# It runs a tiny static 32-bit program written here, so it needs no i386 package and can
# answer before any is installed. Without --emulated, the program's ABI version byte is
# 1: the kernel ignores that byte, but qemu's registration matches only 0, so an
# emulator cannot answer for the kernel.
set -euo pipefail
abi_version='\x01'
[ "${1:-}" = --emulated ] && abi_version='\x00'

# In the checkout's build folder, which must let programs run anyway (a temporary
# folder may not).
build=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build
mkdir -p "$build"
program=$(mktemp -p "$build" i386-probe.XXXXXX)
trap 'rm -f "$program"' EXIT
# An ELF header and one loadable segment at 0x08048000, then exit(0) by int 0x80.
{
    printf '\x7fELF\x01\x01\x01\x00%b\x00\x00\x00\x00\x00\x00\x00' "$abi_version"
    printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
    printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
} >"$program"
chmod +x "$program"
"$program" 2>/dev/null || exit 1
