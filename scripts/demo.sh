#!/usr/bin/env bash
# The main job: builds Tavrel.exe and runs it under Wine against a demo agent whose
# web-post library (the test double) forwards the report to a local receiver; then
# prints the exit status, the run log and what the receiver got. Its first line names
# the build it runs: the shipped 32-bit one, or, on a kernel that runs no 32-bit
# programs, the 64-bit build of the same code, since a 32-bit one would run under qemu's
# emulation there, slowly and not reliably.
#
# Given the path of another Tavrel.exe (a release build, say), runs that one instead,
# against the test double of its own width.
set -euo pipefail
# A step that fails says which: several of them send their own output elsewhere.
trap 'echo "demo: failed at line $LINENO: $BASH_COMMAND" >&2' ERR
# A path given is taken from the caller's folder, before leaving it for the checkout.
given=${1:+$(realpath -m -- "$1")}
cd "$(dirname "$0")/.."

# pe_bits FILE: 32 or 64, from the PE header's machine field; nothing for another file.
pe_bits() {
    local header machine
    header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$header" ] || return 0
    machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')
    case $machine in 014c) echo 32 ;; 8664) echo 64 ;; esac
}
if bash scripts/runs-i386.sh; then kernel=yes; else kernel=; fi
if [ -n "$given" ]; then
    tavrel_exe=$given
    bits=$(pe_bits "$tavrel_exe")
    if [ -z "$bits" ]; then
        echo "demo: $tavrel_exe is not a 32-bit or 64-bit Windows program" >&2
        exit 1
    fi
    echo "demo: runs the $bits-bit build $tavrel_exe"
    if [ "$bits" = 32 ] && [ -z "$kernel" ]; then
        echo "demo: this kernel runs no 32-bit programs: it runs under qemu's emulation, which" \
            "takes minutes and may crash in the emulator"
    fi
elif [ -n "$kernel" ]; then
    bits=32 tavrel_exe=build/windows/bin/Tavrel.exe
    echo "demo: runs the 32-bit build $tavrel_exe, as shipped"
else
    bits=64 tavrel_exe=build/windows64/bin/Tavrel.exe
    echo "demo: runs the 64-bit build $tavrel_exe: this kernel runs no 32-bit programs," \
        "so the shipped 32-bit build would run under qemu's emulation, slowly and not reliably"
fi
# The build of that width, for the test double and for Tavrel.exe itself; and where a
# program of that width installs and reads the agent key.
case $bits in
32) preset=windows exe_folder_name='Program Files (x86)' view=/reg:32 ;;
64) preset=windows64 exe_folder_name='Program Files' view=/reg:64 ;;
esac
bash scripts/setup.sh

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target Tavrel Mavlin >/dev/null

export WINEPREFIX="$PWD/build/demo-prefix"
run="$PWD/cmake/wine-run.sh"
drive_c="$WINEPREFIX/drive_c"
work=$(mktemp -d)
receiver_pid=
cleanup() {
    [ -n "$receiver_pid" ] && kill "$receiver_pid" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# Make the prefix, then lay out the demo agent: its installation folder has a blank in
# its path, as real ones under "Program Files" do.
"$run" cmd /c exit 0
exe_folder="$drive_c/$exe_folder_name/Tavrel"
agent_folder="$drive_c/Demo Agent/QUENDA Agent"
rm -rf "$exe_folder" "$drive_c/Demo Agent"
mkdir -p "$exe_folder" "$agent_folder/Configuration"
cp "$tavrel_exe" "$exe_folder/Tavrel.exe"
cp "build/$preset/bin/Mavlin.dll" "$agent_folder/"
printf 'true|reply1=  accepted  \r\n' >"$agent_folder/Mavlin.script"

# A receiver on this machine stands in for the agent's web service.
python3 scripts/receiver.py 0 "$work/received.txt" --count 1 --timeout 900 >"$work/port" &
receiver_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n1 "$work/port")
printf '[wpsysuptimedata]\r\nURL=http://127.0.0.1:%s/\r\n' "$port" \
    >"$agent_folder/Configuration/Norvick.ini"

# The agent key, in the registry view the program reads.
key='HKLM\Software\QUENDA'
"$run" reg delete "$key" /f "$view" >/dev/null 2>&1 || true
# reg says why it failed on its standard output.
add() { "$run" reg add "$key" /v "$1" /t REG_SZ /d "$2" /f "$view" >"$work/reg.log" || { cat "$work/reg.log" >&2; return 1; }; }
add MEMBERID 'm-1001'
add SITEID 's-2002'
add TYPE 'VAMR'
add InstallationPath 'C:\Demo Agent\QUENDA Agent'
add REGID '417'

status=0
"$run" "C:\\$exe_folder_name\\Tavrel\\Tavrel.exe" || status=$?
# The receiver stops by itself once it has the report; one that got none is stopped.
for _ in $(seq 50); do kill -0 "$receiver_pid" 2>/dev/null || break; sleep 0.1; done
kill "$receiver_pid" 2>/dev/null || true
wait "$receiver_pid" 2>/dev/null || true
receiver_pid=
echo "Tavrel.exe ended with exit status $status (0: report delivered; see the README)."

for log in "$agent_folder/ApplicationLog/TavrelLog.txt" "$exe_folder/TavrelLog.txt"; do
    if [ -f "$log" ]; then
        echo "Run log ($log):"
        tr -d '\r' <"$log"
    fi
done
echo
if [ -s "$work/received.txt" ]; then
    echo "The receiver got (query string, then the report):"
    cat "$work/received.txt"
else
    echo "The receiver got nothing."
fi
