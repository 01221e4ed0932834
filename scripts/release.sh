#!/usr/bin/env bash
# Builds the release Tavrel.exe and its MSI, Tavrel-<version>.msi, into an output folder,
# signs both when given a code-signing certificate, and writes SHA256SUMS there for what
# it produced.
#
#   bash scripts/release.sh [FOLDER]
#
# FOLDER must be new or empty; without one, the release replaces build/release.
#
#   TAVREL_SIGN_PFX            the certificate and its private key, a PFX (PKCS #12) file
#   TAVREL_SIGN_PASSWORD_FILE  a file holding the PFX file's password (a line end after
#                              it is ignored); wins over TAVREL_SIGN_PASSWORD
#   TAVREL_SIGN_PASSWORD       the password itself
#   TAVREL_TIMESTAMP_URL       an RFC 3161 time-stamp server; without it the signature has
#                              no time stamp and is trusted only while the certificate is
#                              valid
#
# The unsigned exe and MSI are reproducible: the same sources, built with Debian 12's
# MinGW-w64 and msitools packages, give the same bytes in any folder. Signed ones are
# not: every signature differs.

# First of all, the password leaves the environment: no program the release starts
# (apt-get, cmake, the compilers) may see it. Unsetting it is not enough, as this
# process's own environment block, which any child can read in /proc, keeps it: the
# script starts again without it, the password following on descriptor 3 (a here-string,
# so no process of its own), and keeps it in an unexported variable. Only the signer gets
# it, on a pipe of its own while it runs.
if [ -n "${TAVREL_SIGN_PASSWORD+set}" ]; then
    exec 3<<<"$TAVREL_SIGN_PASSWORD"
    unset TAVREL_SIGN_PASSWORD
    TAVREL_SIGN_PASSWORD_ON_FD3=1 exec "$BASH" "$0" "$@"
fi
sign_password=
if [ -n "${TAVREL_SIGN_PASSWORD_ON_FD3:-}" ]; then
    unset TAVREL_SIGN_PASSWORD_ON_FD3
    IFS= read -r -d '' sign_password <&3 || true
    exec 3<&-
    sign_password=${sign_password%$'\n'} # the here-string's own line end
fi
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# Paths given relative to the caller's folder, before leaving it for the checkout.
default=$(realpath -m -- "$root/build/release")
out=$(realpath -m -- "${1:-$default}")
shown=${1:-build/release}
shown=${shown%/}
[ -z "${TAVREL_SIGN_PFX:-}" ] || TAVREL_SIGN_PFX=$(realpath -m -- "$TAVREL_SIGN_PFX")
[ -z "${TAVREL_SIGN_PASSWORD_FILE:-}" ] ||
    TAVREL_SIGN_PASSWORD_FILE=$(realpath -m -- "$TAVREL_SIGN_PASSWORD_FILE")
cd "$root"
if [ "$out" != "$default" ] && [ -n "$(ls -A "$out" 2>/dev/null)" ]; then
    echo "release: $shown is not empty; give a new or empty folder" >&2
    exit 1
fi
bash scripts/setup.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# step NAME COMMAND...: one step of the release, its output kept; a failing step names
# itself and shows the end of that output.
step() {
    local name=$1
    shift
    if ! "$@" >"$work/step.log" 2>&1; then
        echo "release: $name failed; its last lines of output:" >&2
        tail -n 30 "$work/step.log" >&2
        exit 1
    fi
}

# Nothing in the build reads the clock; pinned, a tool that did would not make builds differ.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH
step "configuring (cmake --preset windows-release)" cmake --preset windows-release
step "building (cmake --build --preset windows-release)" cmake --build --preset windows-release
built=build/windows-release/bin/Tavrel.exe

# sign_file IN OUT: signs one file with the deployer's certificate, the password going to
# the signer from the deployer's file or on a pipe that only the signer reads, never on a
# command line nor in a file of ours.
sign_file() {
    local kind=()
    # An MSI's signature also covers its metadata, as Windows expects of one.
    if [[ $1 == *.msi ]]; then kind=(-add-msi-dse); fi
    if [ -n "$password_file" ]; then
        step "signing $1" osslsigncode sign -pkcs12 "$TAVREL_SIGN_PFX" -readpass "$password_file" \
            -h sha256 -n Tavrel "${stamp[@]}" "${kind[@]}" -in "$1" -out "$work/signed"
    else
        step "signing $1" osslsigncode sign -pkcs12 "$TAVREL_SIGN_PFX" \
            -readpass <(printf '%s' "$sign_password") \
            -h sha256 -n Tavrel "${stamp[@]}" "${kind[@]}" -in "$1" -out "$work/signed"
    fi
    mv "$work/signed" "$2"
}
# ship FILE NAME: puts FILE into the release as NAME, signed when there is a certificate,
# and lists it for SHA256SUMS.
shipped=()
ship() {
    if [ -n "${TAVREL_SIGN_PFX:-}" ]; then sign_file "$1" "$out/$2"; else cp "$1" "$out/$2"; fi
    shipped+=("$2")
}

if [ -z "${TAVREL_SIGN_PFX:-}" ]; then
    produced="unsigned (TAVREL_SIGN_PFX is not set), reproducible"
else
    if [ ! -f "$TAVREL_SIGN_PFX" ]; then
        echo "release: TAVREL_SIGN_PFX names no file: $TAVREL_SIGN_PFX" >&2
        exit 1
    fi
    password_file=${TAVREL_SIGN_PASSWORD_FILE:-}
    if [ -n "$password_file" ] && [ ! -r "$password_file" ]; then
        echo "release: TAVREL_SIGN_PASSWORD_FILE names no readable file: $password_file" >&2
        exit 1
    fi
    stamp=()
    stamped="no time stamp"
    if [ -n "${TAVREL_TIMESTAMP_URL:-}" ]; then
        stamp=(-ts "$TAVREL_TIMESTAMP_URL")
        stamped="time-stamped by $TAVREL_TIMESTAMP_URL"
    fi
    produced="signed with $TAVREL_SIGN_PFX, SHA-256, $stamped; not byte-reproducible (every"
    produced+=" signature differs; $built is the reproducible unsigned exe)"
fi

if [ "$out" = "$default" ]; then rm -rf "$out"; fi
mkdir -p "$out"
ship "$built" Tavrel.exe
# The MSI carries the exe as released: the signed one when signing; its task stops a run
# by the limit that exe was built with.
limit=$(sed -n 's/^TAVREL_RUN_TIME_LIMIT_SECONDS:[A-Z]*=//p' build/windows-release/CMakeCache.txt)
step "building the MSI (scripts/build-msi.sh)" bash scripts/build-msi.sh --time-limit "$limit" "$out/Tavrel.exe" "$work/msi"
msi=$(cd "$work/msi" && echo Tavrel-*.msi)
product_code=$(sed -n 's/^product code: //p' "$work/step.log")
ship "$work/msi/$msi" "$msi"
(cd "$out" && sha256sum -- "${shipped[@]}" >SHA256SUMS)
echo "release: $shown/Tavrel.exe, $produced"
if [ -n "${TAVREL_SIGN_PFX:-}" ]; then
    echo "release: $shown/$msi, holding that exe, signed like it"
else
    echo "release: $shown/$msi, holding that exe, unsigned, reproducible"
fi
echo "release: $shown/$msi has the product code $product_code"
echo "release: $shown/SHA256SUMS"
