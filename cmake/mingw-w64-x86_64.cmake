# Cross-compiles netkeep for 64-bit Windows with Debian's MinGW-w64 toolchain
# (g++-mingw-w64-x86-64-posix: the posix flavour has the threads that
# std::async and std::thread need). Executables are linked statically, so
# that they need no DLL beyond the system's own, and run on Linux under Wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NETKEEP_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NETKEEP_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NETKEEP_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${NETKEEP_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NETKEEP_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine (scripts/wine-run picks the Wine prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
