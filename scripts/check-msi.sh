#!/usr/bin/env bash
# Proves the MSI in a fresh Wine prefix of its own: install, the same version again, an
# upgrade, a refused downgrade and the uninstall; then the task definitions it ships,
# which Wine's Task Scheduler does not keep. Builds its packages in a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows --target Tavrel >/dev/null

work=$(mktemp -d)
export WINEPREFIX="$work/prefix"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
fail() {
    echo "check-msi: $*" >&2
    exit 1
}
run="$PWD/cmake/wine-run.sh"
folder="$WINEPREFIX/drive_c/Program Files (x86)/Tavrel"

# The upgrade carries another exe, as a new version would.
cp build/windows/bin/Tavrel.exe "$work/old.exe"
cp "$work/old.exe" "$work/new.exe" && printf '\0' >>"$work/new.exe"
old_msi=$(bash scripts/build-msi.sh "$work/old.exe" "$work")
old=$(basename "$old_msi" .msi) old=${old#Tavrel-}
new=${old%.*}.$((${old##*.} + 1))
bash scripts/build-msi.sh "$work/new.exe" "$work" "$new" >/dev/null
"$run" cmd /c exit 0
mkdir -p "$WINEPREFIX/drive_c/msi"
cp "$work"/*.msi "$WINEPREFIX/drive_c/msi/"

# msiexec's status comes back modulo 256 (1603 as 67).
msiexec() {
    local want=$1 status=0
    shift
    "$run" msiexec "$@" /qn /l*v 'C:\msi\msiexec.log' >/dev/null 2>&1 || status=$?
    wineserver -w # saves the registry
    [ "$status" -eq $((want % 256)) ] ||
        fail "msiexec $* ended with $status, not $want: $(tail -n 40 "$WINEPREFIX/drive_c/msi/msiexec.log")"
}
# One line: the folder's files, whether the task is registered, the uninstall entries.
state() {
    echo "files: $(LC_ALL=C ls "$folder" 2>/dev/null | tr '\n' ' ')" \
        "task: $(ls "$WINEPREFIX/drive_c/windows/system32/tasks" 2>/dev/null | tr '\n' ' ')" \
        "entries: $(awk -F'"' '
            function flush() { if (name == "Tavrel") printf "%s ", version; name = version = "" }
            /^\[/ { flush(); uninstall = /\\\\Uninstall\\\\/ }
            uninstall && /^"DisplayName"=/ { name = $4 }
            uninstall && /^"DisplayVersion"=/ { version = $4 }
            END { flush() }' "$WINEPREFIX/system.reg")"
}
expect() {
    local exe=$1 want=$2
    [ "$(state)" = "$want" ] || fail "after $step: $(state), not $want"
    [ -z "$exe" ] || cmp -s "$folder/Tavrel.exe" "$exe" || fail "after $step: not $exe"
}
installed() { echo "files: Tavrel-task.xml Tavrel.exe  task: Tavrel  entries: $1 "; }

step=install && msiexec 0 /i "C:\\msi\\Tavrel-$old.msi" && expect "$work/old.exe" "$(installed "$old")"
step=reinstall && msiexec 0 /i "C:\\msi\\Tavrel-$old.msi" && expect "$work/old.exe" "$(installed "$old")"
step=upgrade && msiexec 0 /i "C:\\msi\\Tavrel-$new.msi" && expect "$work/new.exe" "$(installed "$new")"
step=downgrade && msiexec 1603 /i "C:\\msi\\Tavrel-$old.msi" && expect "$work/new.exe" "$(installed "$new")"
cp "$folder/Tavrel-task.xml" "$work/installed-task.xml"
echo 'an early end' >"$folder/TavrelLog.txt"
step=uninstall && msiexec 0 /x "C:\\msi\\Tavrel-$new.msi" && expect "" "files:  task:  entries: "

# The shipped definitions, as Task Scheduler on Windows reads them: 64-bit Windows gets
# the one that was installed here.
msiinfo extract "$work/Tavrel-$new.msi" tavrel.cab >"$work/tavrel.cab"
gcab -x -C "$work" "$work/tavrel.cab" >/dev/null
cmp -s "$work/TaskFile64" "$work/installed-task.xml" || fail "installed another task definition"
python3 - "$work" <<'PY' || fail "the shipped task definitions are wrong"
import re, sys, xml.etree.ElementTree as ET
ns = "{http://schemas.microsoft.com/windows/2004/02/mit/task}"
want = {"Principals/Principal/UserId": "S-1-5-18", "Triggers/CalendarTrigger/RandomDelay": "PT1H",
        "Triggers/CalendarTrigger/ScheduleByDay/DaysInterval": "1", "Actions/Exec/Arguments": None,
        "Settings/StartWhenAvailable": "true", "Settings/MultipleInstancesPolicy": "IgnoreNew",
        "Settings/ExecutionTimeLimit": "PT1H", "Settings/DisallowStartIfOnBatteries": "false",
        "Settings/StopIfGoingOnBatteries": "false", "Settings/Hidden": "true"}
commands = {"TaskFile64": r"%ProgramFiles(x86)%\Tavrel\Tavrel.exe", "TaskFile32": r"%ProgramFiles%\Tavrel\Tavrel.exe"}
rest, faults = set(), []
for name, command in commands.items():
    data = open(f"{sys.argv[1]}/{name}", "rb").read()
    task = ET.fromstring(data)
    expected = {**want, "Actions/Exec/Command": command}
    got = {path: task.findtext(ns + path.replace("/", "/" + ns)) for path in expected}
    wrong = {path: got[path] for path in expected if got[path] != expected[path]}
    triggers = [trigger.tag for trigger in task.find(ns + "Triggers")]
    start = task.findtext(f"{ns}Triggers/{ns}CalendarTrigger/{ns}StartBoundary") or ""
    for fault, holds in {"no UTF-16 LE byte-order mark": data[:2] == b"\xff\xfe",
                         "not a task of version 1.2": (task.tag, task.get("version")) == (ns + "Task", "1.2"),
                         f"other triggers: {triggers}": triggers == [ns + "CalendarTrigger"],
                         f"start {start!r}": re.fullmatch(r"\d{4}-\d\d-\d\dT06:00:00", start),
                         f"wrong elements: {wrong}": not wrong}.items():
        faults += [] if holds else [f"{name}: {fault}"]
    rest.add(data.decode("utf-16").replace(command, ""))
faults += [] if len(rest) == 1 else ["the definitions differ in more than their command"]
sys.exit("\n".join(faults) or None)
PY
echo "check-msi: installs, reinstalls, upgrades $old to $new, refuses the downgrade, uninstalls clean; task definitions hold"
