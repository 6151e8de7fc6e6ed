# SPDX-License-Identifier: BSD-2-Clause
# Cross build for another processor with Debian's cross compilers at their
# default flags. EOLSWAP_CROSS names the target:
#
#   target   packages                                 emulator
#   aarch64  g++-aarch64-linux-gnu                    qemu-aarch64
#   armhf    g++-arm-linux-gnueabihf                  qemu-arm
#   i686     g++-i686-linux-gnu libc6-i386-cross      the host, or qemu-i386
#   powerpc  g++-powerpc-linux-gnu                    qemu-ppc
#   ppc64el  g++-powerpc64le-linux-gnu                qemu-ppc64le
#   riscv64  g++-riscv64-linux-gnu                    qemu-riscv64
#   s390x    g++-s390x-linux-gnu                      qemu-s390x
#
# (the emulators come with qemu-user), for instance
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake \
#     -DEOLSWAP_CROSS=armhf
# CTest runs the programs through the emulator with the target's own
# loader and libraries. An x86-64 kernel may run i686 programs itself, or
# may refuse them; a probe decides, and EOLSWAP_CROSS_EMULATE=ON takes the
# emulator all the same, so that both ways can be tested on one host.
set(EOLSWAP_CROSS "" CACHE STRING
    "Target: aarch64, armhf, i686, powerpc, ppc64el, riscv64 or s390x")
option(EOLSWAP_CROSS_EMULATE
       "Run i686 programs under qemu even where the host runs them" OFF)

# Each target: its name, CMAKE_SYSTEM_PROCESSOR, Debian's triplet and the
# qemu-user program for it.
set(eolswap_cross_targets
    "aarch64 aarch64 aarch64-linux-gnu qemu-aarch64"
    "armhf arm arm-linux-gnueabihf qemu-arm"
    "i686 i686 i686-linux-gnu qemu-i386"
    "powerpc powerpc powerpc-linux-gnu qemu-ppc"
    "ppc64el ppc64le powerpc64le-linux-gnu qemu-ppc64le"
    "riscv64 riscv64 riscv64-linux-gnu qemu-riscv64"
    "s390x s390x s390x-linux-gnu qemu-s390x")
set(cross_found FALSE)
foreach(entry IN LISTS eolswap_cross_targets)
  string(REPLACE " " ";" fields "${entry}")
  list(GET fields 0 name)
  if(name STREQUAL EOLSWAP_CROSS)
    list(GET fields 1 CMAKE_SYSTEM_PROCESSOR)
    list(GET fields 2 cross_triplet)
    list(GET fields 3 cross_qemu)
    set(cross_found TRUE)
  endif()
endforeach()
if(NOT cross_found)
  message(FATAL_ERROR "EOLSWAP_CROSS is '${EOLSWAP_CROSS}'; set it to one of "
          "aarch64, armhf, i686, powerpc, ppc64el, riscv64 or s390x")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${cross_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${cross_triplet}-g++)

# Debian keeps the target's C and C++ runtimes in /usr/<triplet>.
set(cross_root /usr/${cross_triplet})
set(CMAKE_FIND_ROOT_PATH ${cross_root})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler checks run in projects of their own, which read this file
# again and must see the same target.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES EOLSWAP_CROSS)

# A 64-bit system need not have the 32-bit loader and libraries where the
# programs look for them (/lib/ld-linux.so.2), so the i686 programs are
# started through the cross toolchain's own loader (package
# libc6-i386-cross) and library directory. A probe runs that loader once:
# a kernel built without 32-bit support refuses it, and the loader then runs
# under qemu-i386. It is named there too, because qemu-i386 7.2 loading the
# program's interpreter itself leaves the C library's list of thread stacks
# broken, and the first thread never starts.
set(cross_runner "")
set(cross_loader "")
if(EOLSWAP_CROSS STREQUAL "i686")
  set(cross_loader ${cross_root}/lib/ld-linux.so.2)
  if(NOT EOLSWAP_CROSS_EMULATE AND EXISTS ${cross_loader})
    execute_process(COMMAND ${cross_loader} --version
                    RESULT_VARIABLE probe OUTPUT_QUIET ERROR_QUIET)
    if(probe EQUAL 0)
      set(cross_runner ${cross_loader} --library-path ${cross_root}/lib)
      set(cross_way "natively, through ${cross_loader}")
    endif()
  endif()
endif()

if(NOT cross_runner)
  find_program(EOLSWAP_QEMU ${cross_qemu}
               DOC "qemu-user emulator that runs the target's programs")
  if(EOLSWAP_QEMU AND cross_loader)
    set(cross_runner ${EOLSWAP_QEMU} ${cross_loader}
        --library-path ${cross_root}/lib)
    set(cross_way "under ${EOLSWAP_QEMU}, through ${cross_loader}")
  elseif(EOLSWAP_QEMU)
    set(cross_runner ${EOLSWAP_QEMU} -L ${cross_root})
    set(cross_way "under ${EOLSWAP_QEMU}")
  else()
    set(cross_way "nowhere: ${cross_qemu} (package qemu-user) is missing")
  endif()
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${cross_runner})
if(EOLSWAP_CROSS_WAY STREQUAL cross_way)
  # Said already.
elseif(cross_runner)
  message(STATUS "${EOLSWAP_CROSS} programs run ${cross_way}")
else()
  message(WARNING "The ${EOLSWAP_CROSS} programs can be built but not run "
          "here: ${cross_qemu} (package qemu-user) is missing, so CTest "
          "cannot run the tests.")
endif()
set(EOLSWAP_CROSS_WAY "${cross_way}" CACHE INTERNAL
    "How CTest runs the target's programs")
set(EOLSWAP_CROSS_RUNNER "${cross_runner}" CACHE INTERNAL
    "What starts the target's programs")
