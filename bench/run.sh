#!/usr/bin/env bash
# Builds the release Tavrel.exe and measures it under Wine, side by side with the floor
# program (bench/floor.cpp: only the external calls a run cannot avoid): size and
# imports, wall time and peak memory of a full normal run, and whether two builds from
# different folders give the same bytes. Prints a table; it never fails on a figure.
#
# BENCH_RUNS (default 9) sets the number of measured runs of each program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${BENCH_RUNS:-9}

bash scripts/setup.sh
# Beyond what the build and the tests need: the win32 thread model compiler of the
# release build, and GNU time for the peak memory.
extra=()
for package in g++-mingw-w64-i686-win32 time; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
        extra+=("$package")
done
if [ ${#extra[@]} -gt 0 ]; then
    echo "Installing: ${extra[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${extra[@]}" >/dev/null
fi

# Nothing in the build reads the clock; pinned, a tool that did would not make builds differ.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH

echo "Building ..."
# The second build is of a copy of the sources in another folder, one with a blank in its
# path, taken first so that both builds see the same files.
repro="$root/build/bench repro/tavrel"
rm -rf "$root/build/bench-repro" "$root/build/bench repro"
mkdir -p "$repro"
cp -r CMakeLists.txt CMakePresets.json cmake src "$repro/"
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release >/dev/null
(cd "$repro" && cmake --preset windows-release >/dev/null &&
    cmake --build --preset windows-release >/dev/null)
exe=$root/build/windows-release/bin/Tavrel.exe
if cmp -s "$exe" "$repro/build/windows-release/bin/Tavrel.exe"; then identical=yes; else identical=no; fi

# The web-post test double comes from the test build's settings, in a folder of our own.
cmake --preset windows -B build/bench-double >/dev/null
cmake --build build/bench-double --target Mavlin >/dev/null
cmake -S bench -B build/bench-floor -G Ninja --toolchain "$root/cmake/toolchain-mingw-i686.cmake" \
    -DMINGW_THREAD_MODEL=win32 -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build build/bench-floor >/dev/null

export WINEPREFIX=$root/build/bench-prefix
run=$root/cmake/wine-run.sh
work=$(mktemp -d)
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# One server for every run, so that no run pays for starting it. The prefix is made
# first, and its server left to end: making a prefix waits for the server to end, which
# a persistent one never does.
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true
"$run" cmd /c exit 0
wineserver -w
wineserver -p
"$run" cmd /c exit 0

# The agent: no Norvick.ini, so the report goes to the default host, which the double
# never contacts; it answers every call with true.
drive_c=$WINEPREFIX/drive_c
agent=$drive_c/BenchAgent
tavrel_folder=$drive_c/BenchTavrel
floor_folder=$drive_c/BenchFloor
rm -rf "$agent" "$tavrel_folder" "$floor_folder"
mkdir -p "$agent" "$tavrel_folder" "$floor_folder"
cp "$exe" "$tavrel_folder/Tavrel.exe"
cp build/bench-floor/floor.exe "$floor_folder/floor.exe"
cp build/bench-double/bin/Mavlin.dll "$agent/"
printf 'true\r\n' >"$agent/Mavlin.script"
key='HKLM\Software\QUENDA'
"$run" reg delete "$key" /f /reg:32 >/dev/null 2>&1 || true
add() { "$run" reg add "$key" /v "$1" /t REG_SZ /d "$2" /f /reg:32 >/dev/null; }
add MEMBERID 'm-1001'
add SITEID 's-2002'
add TYPE 'VAMR'
add InstallationPath 'C:\BenchAgent'
add REGID '417'

# Every run starts from the same agent folder: an archive folder and nothing else.
reset_agent() {
    rm -rf "$agent/ApplicationLog" "$agent/TreskPostLogs" "$agent/Mavlin.journal" \
        "$tavrel_folder/TavrelLog.txt"
    mkdir -p "$agent/ApplicationLog"
}

# measure NAME WINDOWS-PROGRAM [ARG]: one run; appends milliseconds and peak KiB.
measure() {
    local name=$1
    shift
    reset_agent
    local start end status=0
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$work/rss" "$run" "$@" || status=$?
    end=$(date +%s%N)
    echo $(((end - start) / 1000000)) >>"$work/$name.ms"
    tail -n1 "$work/rss" >>"$work/$name.kib"
    echo "$status" >"$work/$name.status"
}

tavrel_run() { measure tavrel 'C:\BenchTavrel\Tavrel.exe'; }
# The floor takes the installation folder, backslash included, as its argument.
# shellcheck disable=SC1003
floor_run() { measure floor 'C:\BenchFloor\floor.exe' 'C:\BenchAgent\'; }

echo "Warming up ..."
tavrel_run
tavrel_ok=no
grep -q 'MSG : Webpost Return String' "$agent/ApplicationLog/TavrelLog.txt" 2>/dev/null &&
    tavrel_ok=yes
floor_run
floor_ok=no
[ "$(cat "$work/floor.status")" = 0 ] && grep -q '^call 1' "$agent/Mavlin.journal" 2>/dev/null &&
    floor_ok=yes
rm -f "$work"/*.ms "$work"/*.kib

echo "Measuring $runs runs of each, alternating ..."
for _ in $(seq "$runs"); do
    tavrel_run
    floor_run
done

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit) ? "met" : "MISSED" }'; }

size=$(stat -c %s "$exe")
size_kib=$(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }')
imports=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }')
foreign=
for dll in $imports; do
    [ -n "$(find "$drive_c/windows/syswow64" -maxdepth 1 -iname "$dll" -print -quit)" ] ||
        foreign="$foreign $dll"
done
ms_tavrel=$(median "$work/tavrel.ms") ms_floor=$(median "$work/floor.ms")
kib_tavrel=$(median "$work/tavrel.kib") kib_floor=$(median "$work/floor.kib")
time_ratio=$(ratio "$ms_tavrel" "$ms_floor")
rss_ratio=$(ratio "$kib_tavrel" "$kib_floor")
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

echo
echo "Tavrel $(sed -n 's/^project(Tavrel VERSION \([^ ]*\).*/\1/p' CMakeLists.txt), $(wine --version)," \
    "$runs runs each after a warm-up, alternating with the floor"
printf '%-24s %-16s %-16s %-8s %-12s %s\n' "" "Tavrel.exe" "floor" "ratio" "target" "result"
printf '%-24s %-16s %-16s %-8s %-12s %s\n' "exe size" "$size_kib KiB" "" "" "<= 168 KiB" \
    "$(verdict "$size" $((168 * 1024)))"
printf '%-24s %-55s %s\n' "imported DLLs" "$(tr '\n' ' ' <<<"$imports")" \
    "$([ -z "$foreign" ] && echo "met (Windows system DLLs only)" || echo "MISSED:$foreign")"
printf '%-24s %-16s %-16s %-8s %-12s %s\n' "wall time, median" "$ms_tavrel ms" "$ms_floor ms" \
    "$time_ratio" "<= 1.10" "$(verdict "$time_ratio" 1.10)"
printf '%-24s %-16s %-16s %-8s %-12s %s\n' "peak RSS, median" "$(mib "$kib_tavrel")" \
    "$(mib "$kib_floor")" "$rss_ratio" "<= 1.10" "$(verdict "$rss_ratio" 1.10)"
printf '%-24s %-55s %s\n' "two builds identical" "$identical" \
    "$([ "$identical" = yes ] && echo met || echo MISSED)"
printf '%-24s %s\n' "full runs (warm-up)" "Tavrel delivered: $tavrel_ok, floor posted: $floor_ok"
echo
samples() { tr '\n' ' ' <"$1"; }
echo "Samples (ms): Tavrel $(samples "$work/tavrel.ms"); floor $(samples "$work/floor.ms")"
echo "Samples (KiB): Tavrel $(samples "$work/tavrel.kib"); floor $(samples "$work/floor.kib")"
