# SPDX-License-Identifier: BSD-2-Clause
# Cross build for 64-bit IBM Z (big-endian) with Debian's cross compiler
# (package g++-s390x-linux-gnu). Tests run under qemu-user (qemu-user):
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(cross_prefix s390x-linux-gnu)
set(CMAKE_C_COMPILER ${cross_prefix}-gcc)
set(CMAKE_CXX_COMPILER ${cross_prefix}-g++)

# Debian keeps the target's C and C++ runtimes in /usr/<triplet>.
set(CMAKE_FIND_ROOT_PATH /usr/${cross_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the programs and lists the unit tests through qemu, which loads
# the target's dynamic loader and libraries from their root.
find_program(EOLSWAP_QEMU qemu-s390x
             DOC "qemu-user emulator that runs the s390x programs for CTest")
if(EOLSWAP_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${EOLSWAP_QEMU} -L /usr/${cross_prefix})
endif()
