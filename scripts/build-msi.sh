#!/usr/bin/env bash
# Builds Tavrel-<version>.msi into the output folder: the given Tavrel.exe byte for byte,
# the scheduled task's definition beside it, the task's registration and removal, and the
# event source's registration.
#
#   build-msi.sh [--time-limit SECONDS] [--test-failure] <Tavrel.exe> <output folder> [version]
#
# The version defaults to the project's (CMakeLists.txt) and must be the exe's own, the
# first three numbers of its file version: Windows Installer replaces a versioned file
# only with a higher version. SECONDS is the run time limit the exe was built with
# (TAVREL_RUN_TIME_LIMIT_SECONDS; default CMakeLists.txt's): the task stops a run five
# minutes after it, so that a run ends by its own limit first. --test-failure builds the
# tests' package instead, Tavrel-<version>-test-failure.msi, with a product code of its
# own: one deferred action more, after the task's steps, fails any installation or
# removal given TAVRELTESTFAIL=1.
#
# A limit other than the default gets a notice on standard error: such a build needs a
# version of its own. Prints the package's path, then "product code: {...}". The same
# inputs and SOURCE_DATE_EPOCH (default: the last commit's time) give the same bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() {
    echo "build-msi: $*" >&2
    exit 1
}
usage="usage: build-msi.sh [--time-limit SECONDS] [--test-failure] <Tavrel.exe> <output folder> [version]"
default_limit=$(sed -n 's/^set(TAVREL_RUN_TIME_LIMIT_SECONDS \([0-9]*\) .*/\1/p' "$root/CMakeLists.txt")
limit=$default_limit test_failure=
while [[ ${1-} == --* ]]; do
    case $1 in
    --time-limit) [ $# -ge 2 ] || fail "$usage" && limit=$2 && shift 2 ;;
    --test-failure) test_failure=yes && shift ;;
    *) fail "$usage" ;;
    esac
done
[ $# -ge 2 ] && [ $# -le 3 ] || fail "$usage"
exe=$1 out=$2
version=${3:-$(sed -n 's/^project(Tavrel VERSION \([0-9.]*\)[ )].*/\1/p' "$root/CMakeLists.txt")}
# The installer compares versions by their numbers: major and minor up to 255, build up
# to 65535.
[[ $version =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,5})$ ]] &&
    [ "${BASH_REMATCH[1]}" -le 255 ] && [ "${BASH_REMATCH[2]}" -le 255 ] &&
    [ "${BASH_REMATCH[3]}" -le 65535 ] || fail "not a package version: '$version'"
numbers=$((10#${BASH_REMATCH[1]})).$((10#${BASH_REMATCH[2]})).$((10#${BASH_REMATCH[3]}))
# As CMakeLists.txt allows it: below the system's "wait forever" in milliseconds.
[[ $limit =~ ^[1-9][0-9]{0,6}$ ]] && [ "$limit" -le 4294967 ] ||
    fail "not a run time limit in seconds (1 to 4294967): '$limit'"
[ -f "$exe" ] || fail "no such file: $exe"
# The product code follows the version alone: a machine with another build of this
# version refuses this one (1638), so a build with its own limit needs a version of its own.
[ "$limit" = "$default_limit" ] ||
    echo "build-msi: notice: a run limit of $limit s, not the default $default_limit s; a machine with" \
        "another build of $version refuses this package (1638): ship it only as a version of its own" >&2
exe_info=$(/usr/bin/python3 "$root/packaging/exe-version.py" "$exe") || fail "cannot read the version of $exe"
read -r exe_version exe_language <<<"$exe_info"
[ "${exe_version%.*}" = "$numbers" ] ||
    fail "$exe is version $exe_version, not the package's $version: build the exe of that version"
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}

# The task's limit: the run's and five minutes, in whole minutes, as an ISO 8601 duration.
minutes=$(((limit + 300 + 59) / 60))
days=$((minutes / 1440)) hours=$((minutes % 1440 / 60)) minutes=$((minutes % 60))
task_limit=P
[ "$days" = 0 ] || task_limit+=${days}D
[ "$hours$minutes" = 00 ] || task_limit+=T
[ "$hours" = 0 ] || task_limit+=${hours}H
[ "$minutes" = 0 ] || task_limit+=${minutes}M

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/Tavrel.exe"
# Task Scheduler reads UTF-16 with its byte-order mark. The task's command must name the
# folder the package installs into, which only 64-bit Windows calls "Program Files (x86)".
write_task() {
    {
        printf '\xff\xfe'
        sed -e "s/@EXECUTION_TIME_LIMIT@/$task_limit/" -e "$1" -e 's/$/\r/' \
            "$root/packaging/Tavrel-task.xml.in" | iconv -f UTF-8 -t UTF-16LE
    } >"$stage/$2"
}
write_task '' task64.xml
write_task 's/%ProgramFiles(x86)%/%ProgramFiles%/' task32.xml
# wixl stores the files' times in its cabinet.
touch -d "@$epoch" "$stage"/*

# The product code follows the version (the tests' failing package never takes the code
# of a real one), in the upgrade code's namespace. The package code follows everything
# the package holds: set-summary.py derives it at the end.
name=Tavrel-$version${test_failure:+-test-failure}
product_code=$(python3 -c 'import sys, uuid
print("{%s}" % str(uuid.uuid5(uuid.UUID("D15ECAA9-1EAA-45E5-94BF-29D1593C00C4"), "product " + sys.argv[1])).upper())' \
    "${name#Tavrel-}")

# wixl takes sources from its working folder, and warns of what it drops yet exits 0.
(cd "$stage" && wixl -a x86 -D "Version=$version" -D "ProductCode=$product_code" \
    -o Tavrel.msi "$root/packaging/Tavrel.wxs") >"$stage/wixl.log" 2>&1 ||
    fail "wixl: $(cat "$stage/wixl.log")"
[ ! -s "$stage/wixl.log" ] || fail "wixl warned: $(cat "$stage/wixl.log")"

# What wixl cannot write. The task files' conditions (one definition per Windows), and
# the run log an early end leaves in the folder, removed with the program.
queries=(
    "UPDATE Component SET Condition = 'VersionNT64' WHERE Component = 'TaskFile64'"
    "UPDATE Component SET Condition = 'NOT VersionNT64' WHERE Component = 'TaskFile32'"
    "INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode)
        VALUES ('RunLog', 'TavrelExe', 'TavrelLog.txt', 'TavrelFolder', 2)"
)
# wixl drops MajorUpgrade/@Schedule: the older version goes inside the transaction, right
# after InstallExecute, so that a failed upgrade puts it back.
queries+=("UPDATE InstallExecuteSequence SET Sequence = 1504 WHERE Action = 'RemoveExistingProducts'")
# Rollback actions: an exe named by a property (50), exit code ignored (64), rollback
# (256) in the script (1024), as the local system account (2048).
for action in UndoRemoveOlder UndoDeleteTask UndoCreateTask UndoRepairTask; do
    queries+=("UPDATE CustomAction SET Type = 3442 WHERE Action = '$action'")
done
# The exe's own version and language, so the installer's file rules apply; a hash is for
# unversioned files only.
queries+=(
    "UPDATE File SET Version = '$exe_version', Language = '$exe_language' WHERE File = 'TavrelExe'"
    "DELETE FROM MsiFileHash WHERE File_ = 'TavrelExe'"
)
# The event source, with the exe's message table; its key goes with the exe ("-": the
# whole key, on removal). Key is a keyword of the installer's SQL.
source_key='SYSTEM\CurrentControlSet\Services\EventLog\Application\Tavrel'
registry="INSERT INTO Registry (Registry, Root, \`Key\`, Name, Value, Component_) VALUES"
queries+=(
    "$registry ('EventMessageFile', 2, '$source_key', 'EventMessageFile', '#%[#TavrelExe]', 'TavrelExe')"
    "$registry ('TypesSupported', 2, '$source_key', 'TypesSupported', '#7', 'TavrelExe')"
    "$registry ('EventSource', 2, '$source_key', '-', '', 'TavrelExe')"
)
# The tests' failure: a script that fails its action, run deferred after both task steps
# (a failing exe would not do: Wine takes any exe's failure for success).
if [ -n "$test_failure" ]; then
    mkdir "$stage/Binary"
    printf 'function failInstallation() { return 3; }\r\n' >"$stage/Binary/TestFailure.js"
    printf 'Name\tData\r\ns72\tv0\r\nBinary\tName\r\nTestFailure\tTestFailure.js\r\n' >"$stage/Binary.idt"
    (cd "$stage" && msibuild Tavrel.msi -i Binary.idt) || fail "msibuild could not add the script"
    secure=$(msiinfo export "$stage/Tavrel.msi" Property | sed -n 's/^SecureCustomProperties\t//p' | tr -d '\r')
    queries+=(
        "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('TestFailure', 3077, 'TestFailure', 'failInstallation')"
        "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('TestFailure', 'TAVRELTESTFAIL=1', 4020)"
        "UPDATE Property SET Value = '${secure:+$secure;}TAVRELTESTFAIL' WHERE Property = 'SecureCustomProperties'"
    )
fi
args=()
for query in "${queries[@]}"; do args+=(-q "$query"); done
msibuild "$stage/Tavrel.msi" "${args[@]}" || fail "msibuild failed"
# Debian's own python3 has the GObject bindings of libmsi.
/usr/bin/python3 "$root/packaging/set-summary.py" "$stage/Tavrel.msi" "$epoch" >/dev/null ||
    fail "could not rewrite the summary"

mkdir -p "$out"
cp "$stage/Tavrel.msi" "$out/$name.msi"
echo "$out/$name.msi"
echo "product code: $product_code"
