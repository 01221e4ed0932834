#!/usr/bin/env bash
# Builds the packages run-msi-tests.cmd installs into a folder of the test bundle: the
# real package of the given Tavrel.exe, the same at the next version, and the tests'
# failing build a version above, each with the exe it carries; packages.txt lists them,
# one a line: role, version, product code, package, exe.
#
#   build-msi-packages.sh <Tavrel.exe> <folder> <the exe's run time limit in seconds>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$1 folder=$2 limit=$3
rm -rf "$folder"
mkdir -p "$folder"
read -r current _ < <(python3 "$root/packaging/exe-version.py" "$exe")
current=${current%.*}
listed=()
for role in current next failing; do
    # Each exe a byte longer than the one before, which run-msi-tests.cmd can tell apart
    # even where fc cannot (Wine's).
    case $role in
    current) version=$current options=() padding=0 ;;
    next) version=${current%.*}.$((${current##*.} + 1)) options=() padding=1 ;;
    failing) version=${current%.*}.$((${current##*.} + 2)) options=(--test-failure) padding=2 ;;
    esac
    python3 "$root/packaging/exe-version.py" --set "$version.0" "$exe" "$folder/Tavrel-$version.exe"
    head -c "$padding" /dev/zero >>"$folder/Tavrel-$version.exe"
    output=$(bash "$root/scripts/build-msi.sh" --time-limit "$limit" "${options[@]}" \
        "$folder/Tavrel-$version.exe" "$folder" "$version")
    package=$(sed -n 1p <<<"$output")
    listed+=("$role $version $(sed -n 's/^product code: //p' <<<"$output") ${package##*/} Tavrel-$version.exe")
done
printf '%s\r\n' "${listed[@]}" >"$folder/packages.txt"
