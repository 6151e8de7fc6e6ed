# SPDX-License-Identifier: BSD-2-Clause
# Cross build of a static 64-bit Windows program with Debian's MinGW-w64
# (package g++-mingw-w64-x86-64-posix). Tests run under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix thread variant: GoogleTest needs std::thread and std::mutex.
set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the C++ and thread runtimes in, so the program needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Debian installs the 64-bit loader outside PATH; CTest runs the programs
# and lists the unit tests through it, by way of a script that starts a
# program again when Wine failed to start it.
find_program(EOLSWAP_WINE NAMES wine64 wine PATHS /usr/lib/wine
             DOC "Wine loader that runs the Windows programs for CTest")
if(EOLSWAP_WINE)
  cmake_path(SET wine_run NORMALIZE ${CMAKE_CURRENT_LIST_DIR}/../tests/wine_run.sh)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${wine_run} ${EOLSWAP_WINE})
endif()
