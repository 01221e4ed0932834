#!/usr/bin/env bash
# Proves the Windows test bundle self-contained: unpacks it into a fresh folder of the
# Wine prefix with the drive that reaches the build folder (Z:) taken away, runs
# run-tests.cmd with Wine's cmd and wants every test program to pass; then checks that
# the tests left no agent key, registration or folder behind, and that run-tests.cmd and
# the test programs that write those refuse to start on a machine with an agent.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# The preset whose bundle to check: windows, or windows64 where 32-bit programs run
# only under emulation.
preset=${1:-windows}
# The registry view the test programs write: their own.
case "$preset" in
windows64) view=/reg:64 ;;
*) view=/reg:32 ;;
esac
cmake --build --preset "$preset" --target test-bundle deny_key_reading >/dev/null

export WINEPREFIX=$root/build/wine-prefix
run=$root/cmake/wine-run.sh
drive_c=$WINEPREFIX/drive_c
# A blank in the path, as in a download folder's "tavrel windows tests".
folder="$drive_c/Tavrel bundle check"
work=$(mktemp -d)
z_drive=$WINEPREFIX/dosdevices/z:
z_hidden=$WINEPREFIX/dosdevices/z-hidden-by-check-bundle
agent_key_added=
# remove_agent_key: also one made unreadable, whose security lives only in the running
# wineserver.
remove_agent_key() {
    # Waited for: a server still going down would answer the deletion with its security.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    "$run" reg delete 'HKLM\Software\QUENDA' /f /reg:32 >/dev/null 2>&1
}
cleanup() {
    if [ -n "$agent_key_added" ]; then remove_agent_key || true; fi
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
for key in 'HKLM\Software\QUENDA' 'HKCR\Mavlin.WebPost' 'HKLM\Software\Classes\CLSID\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}'; do
    if "$run" reg query "$key" "$view" >/dev/null 2>&1; then fail "the tests left $key ($view) behind"; fi
done
[ ! -e "$drive_c/Tavrel E2E" ] || fail "the tests left C:\\Tavrel E2E behind"

# A reg that cannot answer: run-tests.cmd must refuse, not take it for "no agent".
status=0
(cd "$folder" && "$run" cmd /c 'set SystemRoot=C:\nowhere&& run-tests.cmd') >"$work/refused.log" 2>&1 ||
    status=$?
[ "$status" = 2 ] && grep -q '^Refusing to run: "reg query' "$work/refused.log" ||
    fail "run-tests.cmd went ahead without a working reg (exit $status): $(cat "$work/refused.log")"

# refuses_for_the_agent_key FAULT WORDS: run-tests.cmd must end with 2, its refusal
# starting with WORDS.
refuses_for_the_agent_key() {
    local status=0
    "$run" cmd /c 'C:\Tavrel bundle check\run-tests.cmd' >"$work/refused.log" 2>&1 || status=$?
    [ "$status" = 2 ] && grep -qF "Refusing to run: $2" "$work/refused.log" ||
        fail "run-tests.cmd $1 (exit $status): $(cat "$work/refused.log")"
}

# An agent key that reg may not read: reg answers 1, "not found", as for a missing one.
"$run" "$root/build/$preset/bin/deny_key_reading.exe" 'Software\QUENDA' >/dev/null 2>&1 &&
    ! "$run" reg query 'HKLM\Software\QUENDA' /reg:32 >/dev/null 2>&1 ||
    fail "could not make HKLM\Software\QUENDA unreadable"
agent_key_added=yes
refuses_for_the_agent_key "took a key it cannot read for none" 'cannot tell whether HKLM\Software\QUENDA exists'
remove_agent_key || fail "could not remove the unreadable HKLM\Software\QUENDA"
agent_key_added=

# A machine with an agent, its key in the agent's view: neither run-tests.cmd nor a test
# program started by itself may start, and the key must stay as it was.
"$run" reg add 'HKLM\Software\QUENDA' /v MEMBERID /d agent /f /reg:32 >/dev/null 2>&1 ||
    fail "could not add an agent's HKLM\Software\QUENDA"
agent_key_added=yes
refuses_for_the_agent_key "did not refuse a machine with the agent key" 'HKLM\Software\QUENDA exists'
for program in tavrel_e2e_tests webpost_double_tests; do
    status=0
    "$run" "$folder/$program.exe" >"$work/refused.log" 2>&1 || status=$?
    [ "$status" != 0 ] && grep -qF 'HKLM\Software\QUENDA' "$work/refused.log" ||
        fail "$program.exe did not refuse a machine with the agent key (exit $status): $(cat "$work/refused.log")"
    "$run" reg query 'HKLM\Software\QUENDA' /v MEMBERID /reg:32 2>/dev/null | grep -q 'REG_SZ *agent' ||
        fail "$program.exe changed the agent key it refused"
    [ ! -e "$drive_c/Tavrel E2E" ] || fail "$program.exe made C:\\Tavrel E2E although it refused"
done
echo "check-bundle: $summary (test programs), unpacked away from the build folder; nothing left behind"

# The MSI's lifecycle, run-msi-tests.cmd, away from the build folder too: it must pass
# every step Wine can run (it skips the failed upgrade and the failed removal, the runs
# in progress across the upgrade and the removal, and the standard user's repair, which
# only Windows can judge) and
# leave no Tavrel behind; and it must refuse, changing nothing,
# where it cannot read the registry, where Tavrel is installed, and where a task Tavrel
# exists, that it did not install.
tavrel_folder="$drive_c/Program Files (x86)/Tavrel"
tasks_folder="$drive_c/windows/system32/tasks"
bundle_msi="C:\\Tavrel bundle check\\msi\\$(sed -n 's/^current [^ ]* [^ ]* \([^ ]*\) .*/\1/p' "$folder/msi/packages.txt" | tr -d '\r')"
msi_cleanup() {
    "$run" schtasks /delete /tn Tavrel /f >/dev/null 2>&1 || true
    "$run" msiexec /x "$bundle_msi" /qn >/dev/null 2>&1 || true
}
trap 'msi_cleanup; cleanup' EXIT
wineserver -k >/dev/null 2>&1 || true
steps=$(grep -c 'call :step "' "$folder/run-msi-tests.cmd")
# run_msi_tests: one run of run-msi-tests.cmd away from the build folder; true when every
# step Wine can run passed, and the three steps and two runs in progress it cannot were
# skipped.
run_msi_tests() {
    status=0
    wineserver -k >/dev/null 2>&1 || true
    mv "$z_drive" "$z_hidden"
    (cd "$folder" && "$run" cmd /c 'C:\Tavrel bundle check\run-msi-tests.cmd') >"$work/msi.log" 2>&1 ||
        status=$?
    wineserver -k >/dev/null 2>&1 || true
    mv "$z_hidden" "$z_drive"
    tr -d '\r' <"$work/msi.log" >"$work/msi-lines.log"
    skipped=$(grep -c '^skipped under Wine: ' "$work/msi-lines.log" || true)
    msi_summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$work/msi-lines.log" | tail -n1 || true)
    [ "$status" = 0 ] && [ "$skipped" = 5 ] && [ "$msi_summary" = "$((steps - 2)) passed, 0 failed" ]
}
msi_tests_failed() {
    cat "$@" >&2
    fail "run-msi-tests.cmd exited $status with \"$msi_summary\" and $skipped skipped; wanted \"$((steps - 2)) passed, 0 failed\" and 5"
}
# Wine's cmd now and then cannot start msiexec (it answers 9009); run-msi-tests.cmd starts
# it once more then. Only a run whose every failure is a step that could not start
# msiexec even so gets a second run; any other failure fails here, with its lines.
if ! run_msi_tests; then
    failures=$(grep -a '^FAILED: ' "$work/msi-lines.log" || true)
    if [ -z "$failures" ] || grep -qvE '^FAILED: [^:]*: status 9009,' <<<"$failures"; then
        msi_tests_failed "$work/msi.log"
    fi
    mv "$work/msi.log" "$work/msi-first.log"
    run_msi_tests || msi_tests_failed "$work/msi-first.log" "$work/msi.log"
    echo "check-bundle: run-msi-tests.cmd passed at its second run; at its first, Wine could not start msiexec:" >&2
    echo "$failures" >&2
fi
[ ! -e "$tavrel_folder" ] && [ ! -e "$tasks_folder/Tavrel" ] || fail "run-msi-tests.cmd left Tavrel behind"
for key in 'HKLM\Software\TavrelMsiTests' 'HKLM\Software\Classes\Installer\UpgradeCodes\9AACE51DAAE15E5449FB921D95C3004C'; do
    if "$run" reg query "$key" /reg:64 >/dev/null 2>&1; then fail "run-msi-tests.cmd left $key behind"; fi
done

# refused <what> <its first words>: run-msi-tests.cmd must end with status 2 and say so.
refused() {
    local status=0
    (cd "$folder" && "$run" cmd /c "$1") >"$work/refused.log" 2>&1 || status=$?
    [ "$status" = 2 ] && tr -d '\r' <"$work/refused.log" | grep -q "^Refusing to run: $2" ||
        fail "run-msi-tests.cmd did not refuse ($1, exit $status): $(cat "$work/refused.log")"
}
refused 'set SystemRoot=C:\nowhere&& run-msi-tests.cmd' '"reg query'
"$run" msiexec /i "$bundle_msi" /qn >/dev/null 2>&1 || fail "could not install $bundle_msi"
refused 'run-msi-tests.cmd' "a product with Tavrel's upgrade code"
[ -f "$tavrel_folder/Tavrel.exe" ] && [ -e "$tasks_folder/Tavrel" ] || fail "run-msi-tests.cmd changed the Tavrel it refused"
"$run" msiexec /x "$bundle_msi" /qn >/dev/null 2>&1 || fail "could not remove $bundle_msi"
msiinfo extract "build/$preset/test-bundle-msi/${bundle_msi##*\\}" tavrel.cab >"$work/tavrel.cab"
gcab -x -C "$work" "$work/tavrel.cab" >/dev/null
cp "$work/TaskFile64" "$drive_c/Tavrel-task.xml"
"$run" schtasks /create /tn Tavrel /xml 'C:\Tavrel-task.xml' /f >/dev/null 2>&1 || fail "could not register a task Tavrel"
rm "$drive_c/Tavrel-task.xml"
refused 'run-msi-tests.cmd' 'a task Tavrel exists'
[ -e "$tasks_folder/Tavrel" ] || fail "run-msi-tests.cmd deleted the task Tavrel it refused"
"$run" schtasks /delete /tn Tavrel /f >/dev/null 2>&1
echo "check-bundle: run-msi-tests.cmd $msi_summary, 5 skipped under Wine, nothing left behind; refuses where Tavrel is"
