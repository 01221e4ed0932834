#!/usr/bin/env bash
# Proves the signed release: signs it with a throwaway self-signed code-signing
# certificate, verifies the exe's and the MSI's signatures against that certificate and
# the checksums, and makes a normal run of the signed exe under Wine against the demo's
# agent.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "check-release: $*" >&2
    exit 1
}

# The certificate lives only in this temporary folder, for this one check.
printf '%s' "throwaway-$RANDOM$RANDOM" >"$work/password"
openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 2 -subj "/CN=Tavrel test signer" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
    fail "openssl req: $(cat "$work/openssl.log")"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" \
    -passout "file:$work/password" >"$work/openssl.log" 2>&1 ||
    fail "openssl pkcs12: $(cat "$work/openssl.log")"

TAVREL_SIGN_PFX="$work/signer.pfx" TAVREL_SIGN_PASSWORD="$(cat "$work/password")" \
    bash scripts/release.sh >"$work/release.log" 2>&1 || fail "release.sh: $(cat "$work/release.log")"
grep -q '^release: build/release/Tavrel.exe, signed ' "$work/release.log" ||
    fail "release.sh did not say it signed: $(cat "$work/release.log")"

osslsigncode verify -in build/release/Tavrel.exe -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
    fail "osslsigncode verify: $(cat "$work/verify.log")"
grep -qi 'sha256' "$work/verify.log" || fail "not a SHA-256 signature: $(cat "$work/verify.log")"
(cd build/release && sha256sum --quiet -c SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
# The MSI: signed too, listed, and holding the signed exe.
msi=$(sed -n 's/^release: \(.*\.msi\), holding that exe, signed .*/\1/p' "$work/release.log")
[ -f "$msi" ] || fail "release.sh did not say it signed the MSI: $(cat "$work/release.log")"
osslsigncode verify -in "$msi" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
    fail "osslsigncode verify $msi: $(cat "$work/verify.log")"
grep -q " $(basename "$msi")\$" build/release/SHA256SUMS || fail "SHA256SUMS lists no $msi"
msiinfo extract "$msi" tavrel.cab >"$work/tavrel.cab" && gcab -x -C "$work" "$work/tavrel.cab" >/dev/null &&
    cmp -s "$work/TavrelExe" build/release/Tavrel.exe || fail "$msi does not hold the signed exe"

# A normal run: the report is posted, the log reaches the agent's archive and the exit
# status says delivered.
bash scripts/demo.sh build/release/Tavrel.exe >"$work/demo.log" 2>&1 || true
grep -q 'ApplicationLog/TavrelLog.txt' "$work/demo.log" &&
    grep -q '^Tavrel.exe ended with exit status 0 ' "$work/demo.log" &&
    grep -q 'MSG : Webpost Return String :--> accepted' "$work/demo.log" &&
    grep -q 'MSG : Application Completed' "$work/demo.log" ||
    fail "the signed exe made no normal run: $(cat "$work/demo.log")"
echo "check-release: exe and MSI signed, verified against their certificate, checksums match, normal run under Wine"
