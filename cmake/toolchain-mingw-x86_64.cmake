# Cross build for 64-bit Windows: the tests' build on machines whose kernel runs no
# 32-bit programs, where Wine's 32-bit side would only run under emulation.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
