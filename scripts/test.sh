#!/usr/bin/env bash
# All tests: native unit tests (the fault sweeps among them), the same built with
# AddressSanitizer and UndefinedBehaviorSanitizer, a bounded fuzz stage, then the Windows unit tests, the
# Win32 seam tests and the end-to-end scenarios under Wine; then the Windows test bundle
# unpacked away from the build folder, and a signed release. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cleanup() { WINEPREFIX="$PWD/build/wine-prefix" wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

cmake --workflow --preset native
bash scripts/lint.sh
cmake --workflow --preset native-sanitize
bash tests/fuzz/run.sh
cmake --workflow --preset windows
bash scripts/check-bundle.sh
bash scripts/check-release.sh
