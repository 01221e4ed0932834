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

ensure_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        /usr/lib/wine/wine64 wineboot -i >"$WINEPREFIX.boot.log" 2>&1
        wineserver -w
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
