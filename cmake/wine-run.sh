#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's own prefix.
# Output goes through files, not straight to our caller's pipe: Wine's background
# services inherit the first process's descriptors and would keep a pipe open.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wine-prefix}
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY
# Wine takes the system ANSI code page from the locale: pin it for every run (C.UTF-8
# gives code page 1252 and UTF-8 file names, and is on every Debian machine).
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# Making a prefix runs Wine's own 32-bit set-up, which takes minutes where only qemu's
# emulation runs 32-bit programs, and may die there: it is made once in the checkout
# (build/wine-pristine, with one more try) and copied for every other prefix.
pristine=$root/build/wine-pristine
make_pristine() {
    [ -f "$pristine/.made" ] && return 0
    local try
    for try in 1 2; do
        rm -rf "$pristine"
        if WINEPREFIX=$pristine /usr/lib/wine/wine64 wineboot -i >"$pristine.boot.log" 2>&1 &&
            WINEPREFIX=$pristine wineserver -w && [ -f "$pristine/system.reg" ]; then
            touch "$pristine/.made"
            return 0
        fi
        WINEPREFIX=$pristine wineserver -k >/dev/null 2>&1
        echo "wine-run: making a Wine prefix failed (try $try of 2); see $pristine.boot.log" >&2
    done
    return 1
}

ensure_prefix() {
    [ -f "$WINEPREFIX/system.reg" ] && return 0
    mkdir -p "$root/build" "$(dirname "$WINEPREFIX")"
    exec 9>"$root/build/wine-pristine.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        make_pristine || exit 1
        if [ "$WINEPREFIX" != "$pristine" ]; then
            rm -rf "$WINEPREFIX"
            cp -a --reflink=auto "$pristine" "$WINEPREFIX"
        fi
    fi
    flock -u 9
    exec 9>&-
}
ensure_prefix

# Only a 32-bit program needs the 32-bit loader, which some machines run only under
# emulation; 64-bit programs and Wine's own tools (reg, cmd) take the 64-bit one.
loader=/usr/lib/wine/wine64
if [ -f "${1:-}" ]; then
    pe_header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    machine=$(od -An -tx2 -j$((pe_header + 4)) -N2 "$1" | tr -d ' ')
    [ "$machine" = 014c ] && loader=wine
fi

out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$loader" "$@" >"$out" 2>"$err" </dev/null
rc=$?
cat "$out"
cat "$err" >&2
exit $rc
