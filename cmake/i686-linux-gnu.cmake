# SPDX-License-Identifier: BSD-2-Clause
# Cross build for 32-bit x86 with Debian's cross compiler at its default
# flags (package g++-i686-linux-gnu). Tests run natively:
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(cross_prefix i686-linux-gnu)
set(CMAKE_C_COMPILER ${cross_prefix}-gcc)
set(CMAKE_CXX_COMPILER ${cross_prefix}-g++)

# Debian keeps the target's C and C++ runtimes in /usr/<triplet>.
set(CMAKE_FIND_ROOT_PATH /usr/${cross_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# An x86-64 kernel runs 32-bit programs, but a 64-bit system need not have
# the 32-bit loader and libraries where the programs look for them
# (/lib/ld-linux.so.2). CTest starts each program through the cross
# toolchain's own loader (package libc6-i386-cross) and library directory,
# so the programs run with the C and C++ runtimes they were linked against.
set(EOLSWAP_I686_LOADER /usr/${cross_prefix}/lib/ld-linux.so.2 CACHE FILEPATH
    "32-bit dynamic loader that runs the i686 programs for CTest")
if(EXISTS ${EOLSWAP_I686_LOADER})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${EOLSWAP_I686_LOADER}
      --library-path /usr/${cross_prefix}/lib)
endif()
