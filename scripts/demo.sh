#!/usr/bin/env bash
# The main job: builds Tavrel.exe and runs it under Wine against a demo agent, then
# prints the run log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target Tavrel >/dev/null

export WINEPREFIX="$PWD/build/demo-prefix"
run="$PWD/cmake/wine-run.sh"
drive_c="$WINEPREFIX/drive_c"
cleanup() { wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

# Make the prefix, then lay out the demo agent: its installation folder has a blank
# in its path, as real ones under "Program Files" do.
"$run" cmd /c exit 0
exe_folder="$drive_c/Program Files (x86)/Tavrel"
agent_folder="$drive_c/Demo Agent/QUENDA Agent"
rm -rf "$exe_folder" "$drive_c/Demo Agent"
mkdir -p "$exe_folder" "$agent_folder"
cp build/windows/bin/Tavrel.exe "$exe_folder/"

# The agent key, in the registry view a 32-bit program reads.
key='HKLM\Software\QUENDA'
"$run" reg delete "$key" /f /reg:32 >/dev/null 2>&1 || true
add() { "$run" reg add "$key" /v "$1" /t REG_SZ /d "$2" /f /reg:32 >/dev/null; }
add MEMBERID 'm-1001'
add SITEID 's-2002'
add TYPE 'VAMR'
add InstallationPath 'C:\Demo Agent\QUENDA Agent'
add REGID '417'

"$run" 'C:\Program Files (x86)\Tavrel\Tavrel.exe'

echo "Run log (C:\\Program Files (x86)\\Tavrel\\TavrelLog.txt):"
tr -d '\r' <"$exe_folder/TavrelLog.txt"
