#!/usr/bin/env bash
# Proves the MSI in a fresh Wine prefix of its own: install, the same version again, an
# upgrade, a refused downgrade and the uninstall; then the task definitions it ships,
# which Wine's Task Scheduler does not keep. Builds its packages in a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null && cmake --build --preset windows --target Tavrel >/dev/null
work=$(mktemp -d)
export WINEPREFIX="$work/prefix"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
fail() {
    echo "check-msi: $*" >&2
    exit 1
}
folder="$WINEPREFIX/drive_c/Program Files (x86)/Tavrel"

# The upgrade carries another exe, as a new version would.
cp build/windows/bin/Tavrel.exe "$work/old.exe"
cp "$work/old.exe" "$work/new.exe" && printf '\0' >>"$work/new.exe"
old=$(basename "$(bash scripts/build-msi.sh "$work/old.exe" "$work")" .msi) old=${old#Tavrel-}
new=${old%.*}.$((${old##*.} + 1))
bash scripts/build-msi.sh "$work/new.exe" "$work" "$new" >/dev/null

# What the machine holds: which exe, the folder's files, the tasks, the uninstall entries
# (Wine keeps a key's values sorted: DisplayVersion follows DisplayName).
state() {
    echo "exe: $(for exe in old new; do cmp -s "$folder/Tavrel.exe" "$work/$exe.exe" && echo $exe; done)" \
        "files: $(LC_ALL=C ls "$folder" 2>/dev/null | tr '\n' ' ')" \
        "task: $(ls "$WINEPREFIX/drive_c/windows/system32/tasks" 2>/dev/null | tr '\n' ' ')" \
        "entries: $(awk -F'"' '/^\[/ { uninstall = /\\\\Uninstall\\\\/ }
            uninstall && /^"DisplayName"="Tavrel"$/ { getline; printf "%s ", $4 }' "$WINEPREFIX/system.reg")" | tr -s ' '
}
# msiexec <action> <package version> <its status> <the exe then installed> <entries>;
# Wine returns the status modulo 256 (1603 as 67).
step() {
    local status=0 want
    want=$(echo "exe: $4 files: ${4:+Tavrel-task.xml Tavrel.exe }task: ${4:+Tavrel }entries: $5" | tr -s ' ')
    cmake/wine-run.sh msiexec "$1" "Z:${work//\//\\}\\Tavrel-$2.msi" /qn /l*v "Z:${work//\//\\}\\msi.log" \
        >/dev/null 2>&1 || status=$?
    wineserver -w # saves the registry
    [ "$status" -eq $(($3 % 256)) ] || fail "msiexec $1 $2 ended with $status, not $3: $(tail -n 40 "$work/msi.log")"
    [ "$(state)" = "$want" ] || fail "after msiexec $1 $2: $(state), not $want"
}
step /i "$old" 0 old "$old "
step /i "$old" 0 old "$old "
step /i "$new" 0 new "$new "
step /i "$old" 1603 new "$new "
cp "$folder/Tavrel-task.xml" "$work/installed-task.xml"
echo 'an early end' >"$folder/TavrelLog.txt"
step /x "$new" 0 "" ""

# The shipped definitions, as Task Scheduler on Windows reads them: 64-bit Windows gets
# the one that was installed here.
msiinfo extract "$work/Tavrel-$new.msi" tavrel.cab >"$work/tavrel.cab"
gcab -x -C "$work" "$work/tavrel.cab" >/dev/null
cmp -s "$work/TaskFile64" "$work/installed-task.xml" || fail "installed another task definition"
python3 - "$work" <<'PY' || fail "the shipped task definitions are wrong"
import re, sys, xml.etree.ElementTree as ET
ns = "{http://schemas.microsoft.com/windows/2004/02/mit/task}"
want = {"Principals/Principal/UserId": "S-1-5-18", "Actions/Exec/Arguments": "",
        "Triggers/CalendarTrigger/StartBoundary": r"\d{4}-\d\d-\d\dT06:00:00",
        "Triggers/CalendarTrigger/RandomDelay": "PT1H", "Triggers/CalendarTrigger/ScheduleByDay/DaysInterval": "1",
        "Settings/StartWhenAvailable": "true", "Settings/MultipleInstancesPolicy": "IgnoreNew",
        "Settings/ExecutionTimeLimit": "PT1H", "Settings/DisallowStartIfOnBatteries": "false",
        "Settings/StopIfGoingOnBatteries": "false", "Settings/Hidden": "true"}
faults, rest = [], set()
for name, folder in {"TaskFile64": "%ProgramFiles(x86)%", "TaskFile32": "%ProgramFiles%"}.items():
    data = open(f"{sys.argv[1]}/{name}", "rb").read()
    task, command = ET.fromstring(data), folder + r"\Tavrel\Tavrel.exe"
    got = {path: task.findtext(ns + path.replace("/", "/" + ns)) or "" for path in [*want, "Actions/Exec/Command"]}
    got.update(mark=data[:2].hex(), version=task.get("version"), triggers=str(len(task.find(ns + "Triggers"))))
    expected = {**want, "Actions/Exec/Command": re.escape(command), "mark": "fffe", "version": r"1\.2", "triggers": "1"}
    faults += [f"{name}: {key} is {got[key]!r}" for key in expected if not re.fullmatch(expected[key], got[key])]
    rest.add(data.decode("utf-16").replace(command, ""))
faults += [] if len(rest) == 1 else ["the definitions differ in more than their command"]
sys.exit("\n".join(faults) or None)
PY
echo "check-msi: installs, reinstalls, upgrades $old to $new, refuses the downgrade, uninstalls clean; task definitions hold"
