#!/usr/bin/env bash
# Builds the release Tavrel.exe and its MSI, Tavrel-<version>.msi, into build/release,
# signs both when given a code-signing certificate, and writes build/release/SHA256SUMS
# for what it produced.
#
#   TAVREL_SIGN_PFX       the certificate and its private key, a PFX (PKCS #12) file
#   TAVREL_SIGN_PASSWORD  the PFX file's password
#   TAVREL_TIMESTAMP_URL  an RFC 3161 time-stamp server; without it the signature has no
#                         time stamp and is trusted only while the certificate is valid
#
# The unsigned exe and MSI are reproducible: the same sources give the same bytes in any
# folder. Signed ones are not: every signature differs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# Nothing in the build reads the clock; pinned, a tool that did would not make builds differ.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release >/dev/null
built=build/windows-release/bin/Tavrel.exe

out=build/release
rm -rf "$out"
mkdir -p "$out"
if [ -z "${TAVREL_SIGN_PFX:-}" ]; then
    cp "$built" "$out/Tavrel.exe"
    produced="unsigned (TAVREL_SIGN_PFX is not set), reproducible"
else
    if [ ! -f "$TAVREL_SIGN_PFX" ]; then
        echo "release: TAVREL_SIGN_PFX names no file: $TAVREL_SIGN_PFX" >&2
        exit 1
    fi
    # The password goes to the signer through a file only this script can read, never
    # on a command line, where every user of the machine could see it.
    secrets=$(mktemp -d)
    trap 'rm -rf "$secrets"' EXIT
    (
        umask 077
        printf '%s' "${TAVREL_SIGN_PASSWORD:-}" >"$secrets/password"
    )
    sign=(osslsigncode sign -pkcs12 "$TAVREL_SIGN_PFX" -readpass "$secrets/password" -h sha256
        -n Tavrel)
    stamp="no time stamp"
    if [ -n "${TAVREL_TIMESTAMP_URL:-}" ]; then
        sign+=(-ts "$TAVREL_TIMESTAMP_URL")
        stamp="time-stamped by $TAVREL_TIMESTAMP_URL"
    fi
    if ! "${sign[@]}" -in "$built" -out "$out/Tavrel.exe" >"$secrets/sign.log" 2>&1; then
        cat "$secrets/sign.log" >&2
        rm -f "$out/Tavrel.exe"
        echo "release: signing failed" >&2
        exit 1
    fi
    produced="signed with $TAVREL_SIGN_PFX, SHA-256, $stamp; not byte-reproducible (every"
    produced+=" signature differs; $built is the reproducible unsigned exe)"
fi
# The MSI carries the exe as released: the signed one when signing.
msi=$(bash scripts/build-msi.sh "$out/Tavrel.exe" "$out")
msi_produced="unsigned, reproducible"
if [ -n "${TAVREL_SIGN_PFX:-}" ]; then
    if ! "${sign[@]}" -add-msi-dse -in "$msi" -out "$msi.signed" >"$secrets/sign.log" 2>&1; then
        cat "$secrets/sign.log" >&2
        rm -f "$msi" "$msi.signed"
        echo "release: signing the MSI failed" >&2
        exit 1
    fi
    mv "$msi.signed" "$msi"
    msi_produced="signed like the exe"
fi
(cd "$out" && sha256sum Tavrel.exe "$(basename "$msi")" >SHA256SUMS)
echo "release: $out/Tavrel.exe, $produced"
echo "release: $msi, holding that exe, $msi_produced"
echo "release: $out/SHA256SUMS"
