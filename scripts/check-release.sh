#!/usr/bin/env bash
# Proves the signed release: signs it with a throwaway self-signed code-signing
# certificate, verifies the exe's and the MSI's signatures against that certificate and
# the checksums, and makes a normal run of the signed exe under Wine against the demo's
# agent (where the kernel runs no 32-bit programs, of a 64-bit build signed the same
# way). It releases into folders of its own, leaving a deployer's build/release as it
# was, and watches that no program the release starts sees the password.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "check-release: $*" >&2
    exit 1
}
release_state() { if [ -e build/release ]; then tar --sort=name -cf - build/release | sha256sum; fi; }
before=$(release_state)

# The certificate lives only in this temporary folder, for this one check.
printf '%s' "throwaway-$RANDOM$RANDOM" >"$work/password"
openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 2 -subj "/CN=Tavrel test signer" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
    fail "openssl req: $(cat "$work/openssl.log")"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" \
    -passout "file:$work/password" >"$work/openssl.log" 2>&1 ||
    fail "openssl pkcs12: $(cat "$work/openssl.log")"

# Stand-ins for what the release starts note any that finds a password in its arguments,
# or in the environment block of itself or of any process above it, where any child can
# read it in /proc (the build's tools run under cmake, in its environment).
printf '%s\n' "$(cat "$work/password")" wrong-password >"$work/secrets"
mkdir "$work/spy"
cat >"$work/spy/spy" <<EOF
#!/bin/bash
printf '%s\n' "\$@" | grep -qF -f "$work/secrets" && echo "\${0##*/}: in its arguments" >>"$work/leaks"
pid=\$\$
while [ "\${pid:-0}" -gt 1 ]; do
    grep -qsaF -f "$work/secrets" "/proc/\$pid/environ" &&
        echo "\${0##*/}: in the environment of \$(cat "/proc/\$pid/cmdline" | tr '\\0' ' ')" >>"$work/leaks"
    pid=\$(awk '/^PPid:/ { print \$2 }' "/proc/\$pid/status" 2>/dev/null)
done
PATH=\${PATH#"$work/spy:"} exec "\${0##*/}" "\$@"
EOF
chmod +x "$work/spy/spy"
for tool in bash cmake git osslsigncode; do ln -s spy "$work/spy/$tool"; done
# release FOLDER VARIABLE=VALUE...: a signed release into FOLDER, under watch.
release() {
    (export PATH="$work/spy:$PATH" TAVREL_SIGN_PFX="$work/signer.pfx" "${@:2}" &&
        "$BASH" scripts/release.sh "$1") >"$work/release.log" 2>&1 ||
        fail "release.sh: $(cat "$work/release.log")"
    grep -qF "release: $1/Tavrel.exe, signed " "$work/release.log" ||
        fail "release.sh did not say it signed: $(cat "$work/release.log")"
}
release "$work/by-variable" TAVREL_SIGN_PASSWORD="$(cat "$work/password")"
# The file wins over the variable, and the line end after the password is not part of it.
printf '%s\n' "$(cat "$work/password")" >"$work/password-line"
release "$work/release" TAVREL_SIGN_PASSWORD_FILE="$work/password-line" TAVREL_SIGN_PASSWORD=wrong-password
[ ! -e "$work/leaks" ] || fail "the password reached $(sort -u "$work/leaks")"
[ "$(release_state)" = "$before" ] || fail "the release check changed build/release"

osslsigncode verify -in "$work/release/Tavrel.exe" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
    fail "osslsigncode verify: $(cat "$work/verify.log")"
grep -qi 'sha256' "$work/verify.log" || fail "not a SHA-256 signature: $(cat "$work/verify.log")"
(cd "$work/release" && sha256sum --quiet -c SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
# The MSI: signed too, listed, and holding the signed exe.
msi=$(sed -n 's/^release: \(.*\.msi\), holding that exe, signed .*/\1/p' "$work/release.log")
[ -f "$msi" ] || fail "release.sh did not say it signed the MSI: $(cat "$work/release.log")"
osslsigncode verify -in "$msi" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
    fail "osslsigncode verify $msi: $(cat "$work/verify.log")"
grep -q " $(basename "$msi")\$" "$work/release/SHA256SUMS" || fail "SHA256SUMS lists no $msi"
msiinfo extract "$msi" tavrel.cab >"$work/tavrel.cab" && gcab -x -C "$work" "$work/tavrel.cab" >/dev/null &&
    cmp -s "$work/TavrelExe" "$work/release/Tavrel.exe" || fail "$msi does not hold the signed exe"

# A normal run: the report is posted, the log reaches the agent's archive and the exit
# status says delivered. Where the kernel runs 32-bit programs, the signed exe itself
# makes it; elsewhere a 32-bit program runs only under qemu's emulation, whose own faults
# look exactly like the program's, so a 64-bit build of the same code with the release's
# settings, signed the same way, makes it instead.
if bash scripts/runs-i386.sh; then
    build="32-bit build"
    run_exe=$work/release/Tavrel.exe
else
    build="64-bit build"
    (cmake --preset windows64-release && cmake --build --preset windows64-release) >"$work/build64.log" 2>&1 ||
        fail "building the 64-bit release: $(tail -n 30 "$work/build64.log")"
    mkdir "$work/release64"
    run_exe=$work/release64/Tavrel.exe
    osslsigncode sign -pkcs12 "$work/signer.pfx" -readpass "$work/password" -h sha256 -n Tavrel \
        -in build/windows64-release/bin/Tavrel.exe -out "$run_exe" >"$work/sign64.log" 2>&1 ||
        fail "signing the 64-bit build: $(cat "$work/sign64.log")"
    osslsigncode verify -in "$run_exe" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
        fail "osslsigncode verify of the 64-bit build: $(cat "$work/verify.log")"
fi
bash scripts/demo.sh "$run_exe" >"$work/demo.log" 2>&1 || true
grep -q 'ApplicationLog/TavrelLog.txt' "$work/demo.log" &&
    grep -q '^Tavrel.exe ended with exit status 0 ' "$work/demo.log" &&
    grep -q 'MSG : Webpost Return String :--> accepted' "$work/demo.log" &&
    grep -q 'MSG : Application Completed' "$work/demo.log" ||
    fail "the signed $build made no normal run: $(cat "$work/demo.log")"
echo "check-release: exe and MSI signed, verified against their certificate, checksums match;" \
    "the password reached the signer alone; build/release untouched; a normal run under Wine" \
    "of the signed $build"
