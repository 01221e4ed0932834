#!/usr/bin/env bash
# Runs Tavrel.exe under Wine to a few of its endings and checks that each run writes
# exactly one event, with its ID, type and strings. Wine keeps no event log, but its
# ReportEventW prints the call (type and ID in hexadecimal) on the advapi channel and
# each string on the eventlog channel: at err level for an error, warn for a warning,
# trace for the rest. The check reads them from the program's standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# The preset whose programs to run: windows, or windows64 where 32-bit programs run
# only under emulation; the agent key goes into the registry view that build reads.
preset=${1:-windows}
case "$preset" in
windows64) view=/reg:64 loader=/usr/lib/wine/wine64 ;;
*) view=/reg:32 loader=wine ;;
esac
cmake --build --preset "$preset" --target Tavrel TavrelShortLimit Mavlin >/dev/null
bin=$root/build/$preset/bin

export WINEPREFIX=$root/build/wine-prefix
run=$root/cmake/wine-run.sh
folder_name='Tavrel events check'
folder="$WINEPREFIX/drive_c/$folder_name"
exe_folder="$folder/Program Files/Tavrel"
agent_folder="$folder/QUENDA Agent"
key='HKLM\Software\QUENDA'
work=$(mktemp -d)
cleanup() {
    "$run" reg delete "$key" /f "$view" >/dev/null 2>&1 || true
    "$run" reg delete 'HKCR\Mavlin.WebPost' /f >/dev/null 2>&1 || true
    for clsid_view in /reg:32 /reg:64; do
        "$run" reg delete 'HKLM\Software\Classes\CLSID\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}' \
            /f "$clsid_view" >/dev/null 2>&1 || true
    done
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work" "$folder"
}
fail() {
    echo "check-events: $*" >&2
    exit 1
}

# Without the message table Event Viewer has no text for the events: the exe must carry
# one (resource type 11) with exactly the IDs of the endings that write an event.
message_ids=$(python3 packaging/pe_resources.py --message-ids "$bin/Tavrel.exe")
[ "$message_ids" = "1000 1001 1002 1003 1004 1005 1006 1008 1009 1010" ] ||
    fail "Tavrel.exe's message table holds the IDs '$message_ids'"
echo "check-events: the message table holds the IDs $message_ids"

"$run" cmd /c exit 0 # makes the prefix when there is none yet
# Only a key these tests made (an interrupted run's, say) is theirs to delete.
if "$run" reg query "$key" "$view" >/dev/null 2>&1 &&
    ! "$run" reg query "$key" /v TavrelTestsMade "$view" >/dev/null 2>&1; then
    fail "refusing to touch $key: these tests did not make it"
fi
trap cleanup EXIT

# A normal agent in a fresh folder; $1 is the program to run as Tavrel.exe.
lay_out_agent() {
    rm -rf "$folder"
    mkdir -p "$exe_folder" "$agent_folder"
    cp "$bin/$1" "$exe_folder/Tavrel.exe"
    cp "$bin/Mavlin.dll" "$agent_folder/"
    printf 'true\r\n' >"$agent_folder/Mavlin.script"
    "$run" reg delete "$key" /f "$view" >/dev/null 2>&1 || true
    local name value
    while read -r name value; do
        "$run" reg add "$key" /v "$name" /t REG_SZ /d "$value" /f "$view" >/dev/null
    done <<EOF
TavrelTestsMade made by the Tavrel tests, which delete it
MEMBERID M1001
SITEID S2002
TYPE VAMR
InstallationPath C:\\$folder_name\\QUENDA Agent
REGID 417
EOF
}

# Runs Tavrel.exe and checks its status, its one event's type and ID, and its strings:
# one for each remaining argument, string N holding argument N (fixed text).
check_run() {
    local what=$1 status=$2 type=$3 level=$4
    shift 4
    local err=$work/stderr status_seen=0
    (
        cd "$exe_folder"
        export WINEARCH=win64 WINEDLLOVERRIDES='mscoree,mshtml=' LANG=C.UTF-8 LC_ALL=C.UTF-8
        export WINEDEBUG=err+eventlog,warn+eventlog,trace+eventlog,fixme+advapi
        unset DISPLAY
        "$loader" "C:\\$folder_name\\Program Files\\Tavrel\\Tavrel.exe" >/dev/null 2>"$err" </dev/null
    ) || status_seen=$?
    [ "$status_seen" = "$status" ] || fail "$what: exit status $status_seen, wanted $status"
    local calls
    calls=$(grep -c 'fixme:advapi:ReportEventW' "$err" || true)
    [ "$calls" = 1 ] || fail "$what: $calls events, wanted 1: $(grep ReportEventW "$err")"
    local id count
    id=$(printf '0x%08x' $((1000 + status)))
    count=$(printf '0x%04x' $#)
    grep 'fixme:advapi:ReportEventW' "$err" | grep -q "(.*,$type,0x0000,$id,[0-9A-Fa-f]*,$count," ||
        fail "$what: wanted type $type, ID $id and $# strings: $(grep 'fixme:advapi:ReportEventW' "$err")"
    grep "$level:eventlog:ReportEventW" "$err" >"$work/strings" || true
    local n=0 words
    for words in "$@"; do
        n=$((n + 1))
        sed -n "${n}p" "$work/strings" | grep -qF -- "$words" ||
            fail "$what: string $n does not hold '$words': $(cat "$work/strings")"
    done
    echo "check-events: $what: status $status, event $((1000 + status)) of type $type"
}

# Wine prints the strings' backslashes doubled.
logs='Tavrel events check\\QUENDA Agent\\ApplicationLog\\TavrelLog.txt'
next_to_exe='Tavrel events check\\Program Files\\Tavrel\\TavrelLog.txt'

lay_out_agent Tavrel.exe
check_run "delivered" 0 0x0004 trace "$logs"

lay_out_agent Tavrel.exe
printf 'false\r\n' >"$agent_folder/Mavlin.script"
check_run "spooled" 2 0x0002 warn "$logs" 'QUENDA Agent\\TreskPostLogs\\wpsysuptimedata_N_417_'

lay_out_agent Tavrel.exe
rm "$agent_folder/Mavlin.dll"
check_run "web-post library missing" 5 0x0001 err "$logs" 'L"none"'

# A folder in the log's place: the log cannot be created, and the event is all there is.
lay_out_agent Tavrel.exe
mkdir "$exe_folder/TavrelLog.txt"
check_run "no run log" 8 0x0001 err "none, C:\\\\$next_to_exe could not be created" \
    'ERR : Err using WMI Err Description : '

lay_out_agent TavrelShortLimit.exe
printf 'true|delay=60000\r\n' >"$agent_folder/Mavlin.script"
check_run "time limit" 9 0x0001 err "C:\\\\$next_to_exe" 'ERR : Run stopped after the time limit of '
