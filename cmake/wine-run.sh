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
        wineboot -i >"$WINEPREFIX.boot.log" 2>&1
        wineserver -w
    fi
    flock -u 9
    exec 9>&-
}
ensure_prefix

out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err" </dev/null
rc=$?
cat "$out"
cat "$err" >&2
exit $rc
