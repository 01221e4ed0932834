# Cross build for Windows with MinGW-w64 for MINGW_ARCH (i686 or x86_64), set by the
# toolchain file that includes this one; test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})

set(TOOLCHAIN_PREFIX ${MINGW_ARCH}-w64-mingw32)
# googletest needs std::mutex, which GCC 12 has only in MinGW's posix thread model.
set(MINGW_THREAD_MODEL posix CACHE STRING "MinGW-w64 thread model: posix or win32")
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-${MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-${MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the exe must run on a bare machine with nothing to install.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
