#!/usr/bin/env bash
# All tests: native unit tests (the fault sweeps among them), the same built with
# AddressSanitizer and UndefinedBehaviorSanitizer, a bounded fuzz stage, then the Windows
# unit tests, the Win32 seam tests and the end-to-end scenarios under Wine, and the events
# a few endings write; then the Windows test bundle unpacked away from the build folder,
# and a signed release. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cleanup() { WINEPREFIX="$PWD/build/wine-prefix" wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

cmake --workflow --preset native
bash scripts/lint.sh
python3 scripts/check-links.py
cmake --workflow --preset native-sanitize
bash tests/fuzz/run.sh
# The Windows tests run on the shipped 32-bit build where this machine runs 32-bit
# programs itself; where only emulation runs them (setup.sh asks the same probe), a Wine
# start takes minutes, so they run on the 64-bit build and the 32-bit one is only built.
preset=windows
if ! bash scripts/runs-i386.sh; then
    echo "This kernel runs no 32-bit programs: the Windows tests run on the 64-bit build."
    cmake --preset windows >/dev/null
    cmake --build --preset windows
    preset=windows64
fi
cmake --workflow --preset "$preset"
bash scripts/check-events.sh "$preset"
bash scripts/check-bundle.sh "$preset"
bash scripts/check-release.sh
bash scripts/check-msi.sh
