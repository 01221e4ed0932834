#!/usr/bin/env bash
# The house style: clang-format on every C++ file, clang-tidy on the portable code
# (against the native build's compile commands).
set -euo pipefail
cd "$(dirname "$0")/.."

git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
[ -f build/native/compile_commands.json ] || cmake --preset native >/dev/null
# The Win32 code (the seam's and the entry point) builds only with MinGW.
git ls-files 'src/*.cpp' | grep -v -e '^src/platform/win32/' -e '^src/main.cpp$' |
    xargs clang-tidy -p build/native --quiet 2>/dev/null
echo "lint: clean"
