#!/usr/bin/env bash
# Proves the MSI: first its own tables, as Windows Installer holds a package to them
# (its conditions read as the installer reads them, and each rule fails on a package
# that breaks it), the task's time limit derived from
# the run's, a package code of its own for each limit, and the same file from the same
# build; then, in a fresh Wine prefix of its own, install, the same version
# again, a repair, an upgrade, a refused downgrade, the uninstall and a failed fresh
# installation; then the task definitions it ships, which Wine's Task Scheduler does not
# keep. Builds its packages in a temporary folder.
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

# The upgrade carries an exe of its version, as a new version would; so does the tests'
# failing package, a version above.
cp build/windows/bin/Tavrel.exe "$work/old.exe"
old=$(bash scripts/build-msi.sh "$work/old.exe" "$work" | sed -n 1p)
old=${old##*/Tavrel-} old=${old%.msi}
new=${old%.*}.$((${old##*.} + 1)) failing=${old%.*}.$((${old##*.} + 2))
python3 packaging/exe-version.py --set "$new.0" "$work/old.exe" "$work/new.exe"
python3 packaging/exe-version.py --set "$failing.0" "$work/old.exe" "$work/failing.exe"
bash scripts/build-msi.sh "$work/new.exe" "$work" "$new" >/dev/null
bash scripts/build-msi.sh --test-failure "$work/failing.exe" "$work" "$failing" >/dev/null
declare -A version=([old]=$old [new]=$new [failing]=$failing)
declare -A package=([old]=Tavrel-$old [new]=Tavrel-$new [failing]=Tavrel-$failing-test-failure)

# The conditions, as Windows Installer reads them: an integer is no string, a name alone
# holds when set, NOT binds tightest and IMP loosest; what cannot be read to its end is
# neither true nor false.
python3 - <<'PY' || fail "the table check reads conditions wrongly"
import importlib.util, sys
sys.dont_write_bytecode = True  # a check leaves the tree as it found it
spec = importlib.util.spec_from_file_location("tables", "scripts/check-msi-tables.py")
tables = importlib.util.module_from_spec(spec)
spec.loader.exec_module(tables)
rows = """
REINSTALL="ALL" AND $TavrelExe=3              | REINSTALL=ALL $TavrelExe=3         | true
$TavrelExe=3 AND Installed AND NOT REMOVE~="ALL" | $TavrelExe=3 Installed=1        | true
$TavrelExe=3 AND Installed AND NOT REMOVE~="ALL" | $TavrelExe=3 Installed=1 REMOVE=all | false
Installed="1"                                   | Installed=1                     | false
Installed<>"1"                                  | Installed=1                     | true
VersionNT64>=601 AND VersionNT64<700            | VersionNT64=601                 | true
VersionNT64>"6"                                 | VersionNT64=601                 | false
REINSTALL><"LL" AND REINSTALL>>"LL"             | REINSTALL=ALL                   | true
REINSTALL<<"al"                                 | REINSTALL=ALL                   | false
REINSTALL~<<"al" AND REINSTALL~>="all"          | REINSTALL=ALL                   | true
FLAGS><1 AND FLAGS<<1 AND FLAGS>>1 AND NOT FLAGS><2 | FLAGS=65537                  | true
Zero AND NOT Unset                              | Zero=0                          | true
A OR B AND C                                    | A=1                             | true
A XOR B OR C                                    | A=1 C=1                         | false
A EQV B IMP C                                   | C=1                             | true
%TEMP="x" AND ?TavrelExe=3 AND &Tavrel=3 AND !Tavrel=2 | %TEMP=x ?TavrelExe=3 &Tavrel=3 !Tavrel=2 | true
(Installed                                      |                                 | unreadable
Installed AND                                   |                                 | unreadable
REINSTALL="ALL                                  |                                 | unreadable
Installed REINSTALL                             |                                 | unreadable
Installed == 1                                  |                                 | unreadable
Installed ~ 1                                   |                                 | unreadable
"""
wrong = []
for row in filter(None, rows.split("\n")):
    condition, names, want = (field.strip() for field in row.split("|"))
    properties = dict(pair.split("=", 1) for pair in names.split())
    try:
        got = str(tables.holds(condition, properties)).lower()
    except tables.Unreadable:
        got = "unreadable"
    if got != want:
        wrong.append(f"{condition} where {names or 'nothing is set'}: {got}, not {want}")
sys.exit("\n".join(wrong) or None)
PY

# The tables: every package holds to every rule; each change below breaks the rules
# named beside it, and the check must say so (the first as wixl's After= once did). A
# changed package gets the package code of its new content, as build-msi.sh gives it,
# except in the rows that break the package code: a change that keeps the code.
for name in old new failing; do
    python3 scripts/check-msi-tables.py "$work/${package[$name]}.msi" || fail "${package[$name]}.msi breaks the rules above"
done
while IFS='|' read -r query broken; do
    cp "$work/${package[old]}.msi" "$work/broken.msi"
    msibuild "$work/broken.msi" -q "$query" || fail "msibuild could not apply: $query"
    [[ $broken == *package-code* ]] || /usr/bin/python3 packaging/set-summary.py "$work/broken.msi" >/dev/null ||
        fail "could not give the changed package its code"
    got=$(python3 scripts/check-msi-tables.py "$work/broken.msi" | cut -d: -f1 | sort -u | xargs || true)
    [ "$got" = "$broken" ] || fail "after \"$query\" the table check found \"$got\", not \"$broken\""
done <<'ROWS'
UPDATE InstallExecuteSequence SET Sequence = 6610 WHERE Action = 'CreateTask'|rollback transaction
UPDATE InstallExecuteSequence SET Sequence = 1499 WHERE Action = 'UndoRemoveOlder'|rollback transaction
UPDATE InstallExecuteSequence SET Sequence = 1401 WHERE Action = 'RemoveExistingProducts'|end-before-files upgrade-inside
UPDATE InstallExecuteSequence SET Sequence = 4001 WHERE Action = 'RemoveExistingProducts'|rollback upgrade-alone upgrade-inside
DELETE FROM InstallExecuteSequence WHERE Action = 'InstallExecute'|upgrade-alone
UPDATE CustomAction SET Type = 2162 WHERE Action = 'UndoCreateTask'|rollback
UPDATE CustomAction SET Type = 1394 WHERE Action = 'UndoDeleteTask'|rollback
UPDATE InstallExecuteSequence SET Condition = '$TavrelExe=3' WHERE Action = 'UndoCreateTask'|console-as-system rollback
UPDATE File SET Version = '' WHERE File = 'TavrelExe'|version
UPDATE File SET Version = '0.1.0.1' WHERE File = 'TavrelExe'|version
INSERT INTO MsiFileHash (File_, Options, HashPart1, HashPart2, HashPart3, HashPart4) VALUES ('TavrelExe', 0, 1, 2, 3, 4)|hash
DELETE FROM Property WHERE Property = 'MsiLogging'|logging
UPDATE Registry SET Value = '[#TavrelExe]' WHERE Registry = 'EventMessageFile'|event-source
DELETE FROM InstallExecuteSequence WHERE Action = 'WriteRegistryValues'|event-source
UPDATE Property SET Value = '0' WHERE Property = 'MSIRMSHUTDOWN'|package-code restart-manager
DELETE FROM Property WHERE Property = 'MSIRMSHUTDOWN'|restart-manager
DELETE FROM InstallExecuteSequence WHERE Action = 'EndRunAgain'|end-run
UPDATE InstallExecuteSequence SET Sequence = 3480 WHERE Action = 'EndRunAgain'|end-run
UPDATE InstallExecuteSequence SET Condition = '$TavrelExe=3 AND REINSTALL' WHERE Action = 'EndRunAgain'|console-as-system end-run
DELETE FROM Property WHERE Property = 'MSIUSEREALADMINDETECTION'|console-as-system
UPDATE InstallExecuteSequence SET Condition = 'Privileged AND $TavrelExe=3 AND Installed AND REINSTALL' WHERE Action = 'RepairTask' OR Action = 'UndoRepairTask'|console-as-system
UPDATE InstallExecuteSequence SET Condition = 'REINSTALL="ALL" AND $TavrelExe=3' WHERE Action = 'RepairTask' OR Action = 'UndoRepairTask'|console-as-system
UPDATE InstallExecuteSequence SET Condition = '$TavrelExe=3 AND Installed AND NOT REMOVE~="ALL"' WHERE Action = 'RepairTask' OR Action = 'UndoRepairTask'|console-as-system
UPDATE InstallExecuteSequence SET Condition = 'AdminUser AND $TavrelExe=3 AND Installed AND (REINSTALL' WHERE Action = 'RepairTask' OR Action = 'UndoRepairTask'|condition console-as-system
DELETE FROM InstallExecuteSequence WHERE Action = 'EndRun'|end-before-files
UPDATE InstallExecuteSequence SET Sequence = 1505 WHERE Action = 'EndRun'|end-before-files
UPDATE InstallExecuteSequence SET Condition = 'AdminUser AND ($TavrelExe=2 OR ($TavrelExe=3 AND REINSTALL))' WHERE Action = 'EndRun'|end-before-files
ROWS

# The task's time limit: the run's (build-msi.sh's --time-limit) and five minutes, in
# whole minutes; an impossible run limit builds nothing. Each limit gives a package code
# of its own, and any but the default (1800 s) a notice that it needs a version of its own.
task_limit() {
    rm -rf "$work/limit" && mkdir "$work/limit"
    bash scripts/build-msi.sh "$@" "$work/old.exe" "$work/limit" >/dev/null 2>"$work/notice" || return 0
    msiinfo suminfo "$work/limit/${package[old]}.msi" | sed -n 's/^Revision number (UUID): //p' >>"$work/codes"
    msiinfo extract "$work/limit/${package[old]}.msi" tavrel.cab >"$work/limit/tavrel.cab"
    gcab -x -C "$work/limit" "$work/limit/tavrel.cab" >/dev/null
    iconv -f UTF-16 -t UTF-8 "$work/limit/TaskFile64" | sed -n 's/.*<ExecutionTimeLimit>\(.*\)<.*/\1/p'
}
while read -r seconds duration; do
    got=$(task_limit --time-limit "$seconds")
    [ "$got" = "$duration" ] || fail "a run limit of $seconds s gave the task the limit \"$got\", not \"$duration\""
    noticed=no want=yes
    grep -q '^build-msi: notice: ' "$work/notice" && noticed=yes
    [ "$seconds" != 1800 ] || want=no
    [ -z "$duration" ] || [ "$noticed" = "$want" ] || fail "a run limit of $seconds s: notice \"$noticed\", not \"$want\""
done <<'ROWS'
1 PT6M
1800 PT35M
3300 PT1H
3301 PT1H1M
86100 P1D
4294967 P49DT17H8M
0
4294968
18OO
ROWS
[ "$(sort -u "$work/codes" | wc -l)" = 6 ] || fail "six run limits gave the package codes $(xargs <"$work/codes")"
# The same inputs give the same file.
bash scripts/build-msi.sh "$work/old.exe" "$work/limit" >/dev/null
cmp -s "$work/limit/${package[old]}.msi" "$work/${package[old]}.msi" || fail "the same build twice gave two files"

# What the machine holds: which exe, the folder's files, the tasks, the uninstall entries
# (Wine keeps a key's values sorted: DisplayVersion follows DisplayName) and the event
# source (Wine's own key is "Eventlog"; Wine 10 keeps CurrentControlSet as a link to
# ControlSet001, and the keys written through it under that).
control_set() {
    awk '/^\[/ { key = tolower($0) ~ /^\[system\\\\currentcontrolset\]/ } key && /^#link$/ { link = 1 }
        END { print link ? "controlset001" : "currentcontrolset" }' "$WINEPREFIX/system.reg"
}
state() {
    echo "exe: $(for exe in old new failing; do cmp -s "$folder/Tavrel.exe" "$work/$exe.exe" && echo $exe; done)" \
        "files: $(if [ -d "$folder" ]; then LC_ALL=C ls "$folder" | tr '\n' ' '; else echo none; fi)" \
        "task: $(ls "$WINEPREFIX/drive_c/windows/system32/tasks" 2>/dev/null | tr '\n' ' ')" \
        "entries: $(awk -F'"' '/^\[/ { uninstall = /\\\\Uninstall\\\\/ }
            uninstall && /^"DisplayName"="Tavrel"$/ { getline; printf "%s ", $4 }' "$WINEPREFIX/system.reg")" \
        "source: $(key="[system\\\\$(control_set)\\\\services\\\\eventlog\\\\application\\\\tavrel]" awk '
            /^\[/ { source = index(tolower($0), ENVIRON["key"]) == 1 }
            source && /^"(EventMessageFile|TypesSupported)"=/ { printf "%s ", $0 }' "$WINEPREFIX/system.reg")" |
        tr -s ' ' | sed 's/ $//'
}
installed_source='"EventMessageFile"=str(2):"C:\\Program Files (x86)\\Tavrel\\Tavrel.exe" "TypesSupported"=dword:00000007'
# step <before> <action> <package> <its status> <the exe then installed> <the task> <the
# entry> [property...]: msiexec with that package, after the <before> command, if any.
# Wine returns the status modulo 256 (1603 as 67).
step() {
    local status=0 want files=none
    [ -z "$5" ] || files="Tavrel-task.xml Tavrel.exe"
    want=$(echo "exe: $5 files: $files task: $6 entries: ${7:+${version[$7]}} source: ${5:+$installed_source}" | tr -s ' ' | sed 's/ $//')
    if [ -n "$1" ]; then cmake/wine-run.sh $1 >/dev/null 2>&1 || fail "$1 failed"; fi
    cmake/wine-run.sh msiexec "$2" "Z:${work//\//\\}\\${package[$3]}.msi" "${@:8}" /qn /l*v "Z:${work//\//\\}\\msi.log" \
        >/dev/null 2>&1 || status=$?
    wineserver -w # saves the registry
    [ "$status" -eq $(($4 % 256)) ] || fail "msiexec $2 $3 ${*:8} ended with $status, not $4: $(tail -n 40 "$work/msi.log")"
    [ "$(state)" = "$want" ] || fail "after msiexec $2 $3 ${*:8}: $(state), not $want"
}
step "" /i old 0 old Tavrel old
step "" /i old 0 old Tavrel old
# An administrator's edit (here: the task deleted) survives the same version again...
step "schtasks /delete /tn Tavrel /f" /i old 0 old "" old
# ... and a repair registers the task again.
step "" /i old 0 old Tavrel old REINSTALL=ALL REINSTALLMODE=omus
step "" /i new 0 new Tavrel new
step "" /i old 1603 new Tavrel new
cp "$folder/Tavrel-task.xml" "$work/installed-task.xml"
echo 'an early end' >"$folder/TavrelLog.txt"
step "" /x new 0 "" "" ""
# A failed fresh installation leaves nothing. Wine can prove no failed upgrade or removal:
# it removes the older version outside the transaction, and puts no removed file back;
# the Windows test bundle's run-msi-tests.cmd proves those.
step "" /i failing 1603 "" "" "" TAVRELTESTFAIL=1

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
        "Settings/ExecutionTimeLimit": "PT35M", "Settings/DisallowStartIfOnBatteries": "false",
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
echo "check-msi: tables hold; each run limit gives a package code of its own, the same build the same file; installs, reinstalls (a deleted task stays deleted), repairs, upgrades $old to $new," \
    "refuses the downgrade, uninstalls clean, a failed installation leaves nothing; task definitions hold"
