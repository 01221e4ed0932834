#!/usr/bin/env bash
# Proves the Windows test bundle self-contained: unpacks it into a fresh folder of the
# Wine prefix with the drive that reaches the build folder (Z:) taken away, runs
# run-tests.cmd with Wine's cmd and wants every test program to pass; then checks that
# the tests left no agent key, registration or folder behind, and that run-tests.cmd
# refuses to start on a machine with an agent.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# The preset whose bundle to check: windows, or windows64 where 32-bit programs run
# only under emulation.
preset=${1:-windows}
cmake --build --preset "$preset" --target test-bundle >/dev/null

export WINEPREFIX=$root/build/wine-prefix
run=$root/cmake/wine-run.sh
drive_c=$WINEPREFIX/drive_c
# A blank in the path, as in a download folder's "tavrel windows tests".
folder="$drive_c/Tavrel bundle check"
work=$(mktemp -d)
z_drive=$WINEPREFIX/dosdevices/z:
z_hidden=$WINEPREFIX/dosdevices/z-hidden-by-check-bundle
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -L "$z_hidden" ]; then mv "$z_hidden" "$z_drive"; fi
    rm -rf "$work" "$folder"
}
trap cleanup EXIT
fail() {
    echo "check-bundle: $*" >&2
    exit 1
}

"$run" cmd /c exit 0 # makes the prefix when there is none yet
# An interrupted earlier run may have left scenario folders; this run must start without.
rm -rf "$folder" "$drive_c/Tavrel E2E"
mkdir -p "$folder"
python3 -m zipfile -e "build/$preset/tavrel-windows-tests.zip" "$folder"
programs=$(find "$folder" -maxdepth 1 -name '*_tests.exe' | wc -l)

wineserver -k >/dev/null 2>&1 || true
mv "$z_drive" "$z_hidden"
status=0
(cd "$folder" && "$run" cmd /c 'C:\Tavrel bundle check\run-tests.cmd') >"$work/run.log" 2>&1 ||
    status=$?
wineserver -k >/dev/null 2>&1 || true
mv "$z_hidden" "$z_drive"
summary=$(tr -d '\r' <"$work/run.log" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n1 || true)
if [ "$status" != 0 ] || [ "$summary" != "$programs passed, 0 failed" ]; then
    cat "$work/run.log" >&2
    fail "run-tests.cmd exited $status with \"$summary\"; wanted \"$programs passed, 0 failed\""
fi

# Nothing of the tests may stay behind: the README promises a Windows machine that.
for key in 'HKLM\Software\QUENDA /reg:32' 'HKCR\Mavlin.WebPost'; do
    # shellcheck disable=SC2086 # the view switch is a separate argument
    if "$run" reg query $key >/dev/null 2>&1; then fail "the tests left $key behind"; fi
done
[ ! -e "$drive_c/Tavrel E2E" ] || fail "the tests left C:\\Tavrel E2E behind"

# A machine with an agent: the tests must not start.
"$run" reg add 'HKLM\Software\QUENDA' /f /reg:32 >/dev/null 2>&1
status=0
"$run" cmd /c 'C:\Tavrel bundle check\run-tests.cmd' >"$work/refused.log" 2>&1 || status=$?
"$run" reg delete 'HKLM\Software\QUENDA' /f /reg:32 >/dev/null 2>&1
[ "$status" = 2 ] && grep -q '^Refusing to run: HKLM\\Software\\QUENDA exists' "$work/refused.log" ||
    fail "run-tests.cmd did not refuse a machine with the agent key (exit $status): $(cat "$work/refused.log")"
echo "check-bundle: $summary (test programs), unpacked away from the build folder; nothing left behind"
