#!/usr/bin/env bash
# Builds Tavrel-<version>.msi into the output folder: the given Tavrel.exe byte for byte,
# the scheduled task's definition beside it, and the task's registration and removal.
#
#   build-msi.sh <Tavrel.exe> <output folder> [version]
#
# The version defaults to the project's (CMakeLists.txt). Prints the package's path. The
# same inputs and SOURCE_DATE_EPOCH (default: the last commit's time) give the same bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() {
    echo "build-msi: $*" >&2
    exit 1
}
[ $# -ge 2 ] && [ $# -le 3 ] || fail "usage: build-msi.sh <Tavrel.exe> <output folder> [version]"
exe=$1 out=$2
version=${3:-$(sed -n 's/^project(Tavrel VERSION \([0-9.]*\)[ )].*/\1/p' "$root/CMakeLists.txt")}
# The installer compares versions by their numbers: major and minor up to 255, build up
# to 65535.
[[ $version =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,5})$ ]] &&
    [ "${BASH_REMATCH[1]}" -le 255 ] && [ "${BASH_REMATCH[2]}" -le 255 ] &&
    [ "${BASH_REMATCH[3]}" -le 65535 ] || fail "not a package version: '$version'"
[ -f "$exe" ] || fail "no such file: $exe"
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/Tavrel.exe"
# Task Scheduler reads UTF-16 with its byte-order mark. The task's command must name the
# folder the package installs into, which only 64-bit Windows calls "Program Files (x86)".
write_task() {
    {
        printf '\xff\xfe'
        sed -e "$1" -e 's/$/\r/' "$root/packaging/Tavrel-task.xml.in" | iconv -f UTF-8 -t UTF-16LE
    } >"$stage/$2"
}
write_task '' task64.xml
write_task 's/%ProgramFiles(x86)%/%ProgramFiles%/' task32.xml
# wixl stores the files' times in its cabinet.
touch -d "@$epoch" "$stage"/*

# The product code follows the version, the package code also the exe, so a signed and
# an unsigned package never share one; both in the upgrade code's namespace.
read -r product_code package_code < <(python3 - "$version" "$stage/Tavrel.exe" <<'PY'
import hashlib, sys, uuid
upgrade_code = uuid.UUID("D15ECAA9-1EAA-45E5-94BF-29D1593C00C4")
version, exe = sys.argv[1], open(sys.argv[2], "rb").read()
codes = (f"product {version}", f"package {version} {hashlib.sha256(exe).hexdigest()}")
print(*("{%s}" % str(uuid.uuid5(upgrade_code, name)).upper() for name in codes))
PY
)

# wixl takes sources from its working folder, and warns of what it drops yet exits 0.
(cd "$stage" && wixl -a x86 -D "Version=$version" -D "ProductCode=$product_code" \
    -o Tavrel.msi "$root/packaging/Tavrel.wxs") >"$stage/wixl.log" 2>&1 ||
    fail "wixl: $(cat "$stage/wixl.log")"
[ ! -s "$stage/wixl.log" ] || fail "wixl warned: $(cat "$stage/wixl.log")"
# What wixl cannot write: the task files' conditions (one definition per Windows), and
# the run log an early end leaves in the folder, removed with the program.
msibuild "$stage/Tavrel.msi" \
    -q "UPDATE Component SET Condition = 'VersionNT64' WHERE Component = 'TaskFile64'" \
    -q "UPDATE Component SET Condition = 'NOT VersionNT64' WHERE Component = 'TaskFile32'" \
    -q "INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode)
        VALUES ('RunLog', 'TavrelExe', 'TavrelLog.txt', 'TavrelFolder', 2)" ||
    fail "msibuild failed"
# Debian's own python3 has the GObject bindings of libmsi.
/usr/bin/python3 "$root/packaging/set-summary.py" "$stage/Tavrel.msi" "$package_code" "$epoch" ||
    fail "could not rewrite the summary"

mkdir -p "$out"
cp "$stage/Tavrel.msi" "$out/Tavrel-$version.msi"
echo "$out/Tavrel-$version.msi"
