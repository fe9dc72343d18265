# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads), linked statically so
# that the programs run under Wine and on Windows without DLLs of their own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESSMAR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESSMAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESSMAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESSMAR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESSMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
