#!/usr/bin/env bash
# Makes, on the Linux side, the links the end-to-end link rows meet: under Wine a Windows
# program cannot make one (CreateSymbolicLinkW reports success and makes nothing), while
# a Unix symlink under a drive is a reparse point to it. Each leads into a scenario's
# installation folder, which the test makes and opens to everyone.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# The prefix is made, or copied, by the first Wine run: after that, drive C is ours.
bash "$root/cmake/wine-run.sh" cmd /c exit 0 >/dev/null
links="${WINEPREFIX:-$root/build/wine-prefix}/drive_c/Tavrel E2E Links"
rm -rf "$links"
mkdir -p "$links/library agent"
ln -s "../Tavrel E2E/link install/QUENDA Agent" "$links/install"
ln -s "../Tavrel E2E/link protected/QUENDA Agent" "$links/protected"
ln -s "../../Tavrel E2E/link library/QUENDA Agent/Mavlin.dll" "$links/library agent/Mavlin.dll"
