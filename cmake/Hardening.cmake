# SPDX-License-Identifier: BSD-2-Clause
# Debian's hardening for the program and its core library: fortified libc
# calls, stack protector, format-string checks, full RELRO and PIE.
#
# The flags go on the targets, never into CMAKE_CXX_FLAGS, which belongs to
# whoever builds the package. Where that builder already asks for fortify or
# a stack protector, their choice stands and ours is left out.

option(EOLSWAP_HARDEN "Build with Debian's hardening flags" ON)

# The flags are those of GCC and Clang on ELF systems; elsewhere the
# option does nothing.
if(EOLSWAP_HARDEN AND UNIX AND NOT APPLE)
  set(eolswap_hardened_targets eolswap_core eolswap)

  # A static program is a plain one at a fixed address. Static PIE would
  # keep address randomisation, but Debian's armhf C library cannot link
  # one (it has no rcrt1.o), and CMake's -pie after -static-pie makes the
  # program dynamic again.
  include(CheckPIESupported)
  check_pie_supported(OUTPUT_VARIABLE eolswap_pie_output LANGUAGES CXX)
  if(EOLSWAP_STATIC)
    set_property(TARGET ${eolswap_hardened_targets}
                 PROPERTY POSITION_INDEPENDENT_CODE OFF)
  elseif(CMAKE_CXX_LINK_PIE_SUPPORTED)
    set_property(TARGET ${eolswap_hardened_targets}
                 PROPERTY POSITION_INDEPENDENT_CODE ON)
  else()
    message(WARNING "eolswap: the linker cannot build PIE:\n${eolswap_pie_output}")
  endif()

  # glibc's fortify needs optimisation (and warns without it), and it hides
  # faults from AddressSanitizer, so it applies to optimised builds without
  # sanitizers only.
  set(eolswap_optimised
      "$<OR:$<CONFIG:Release>,$<CONFIG:RelWithDebInfo>,$<CONFIG:MinSizeRel>>")
  set(eolswap_fortify 0)
  if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE"
     AND NOT EOLSWAP_SANITIZE AND NOT EOLSWAP_FUZZ)
    set(eolswap_fortify 1)
    foreach(target IN LISTS eolswap_hardened_targets)
      target_compile_options(${target} PRIVATE
        "$<${eolswap_optimised}:-U_FORTIFY_SOURCE>"
        "$<${eolswap_optimised}:-D_FORTIFY_SOURCE=2>")
    endforeach()
  endif()

  if(NOT CMAKE_CXX_FLAGS MATCHES "-f(no-)?stack-protector")
    foreach(target IN LISTS eolswap_hardened_targets)
      target_compile_options(${target} PRIVATE -fstack-protector-strong)
    endforeach()
  endif()

  foreach(target IN LISTS eolswap_hardened_targets)
    target_compile_options(${target} PRIVATE -Wformat -Werror=format-security)
  endforeach()

  target_link_options(eolswap PRIVATE "LINKER:-z,relro" "LINKER:-z,now")

  # The test reads PIE and the checked calls from the dynamic section,
  # which a static program does not have.
  if(BUILD_TESTING AND CMAKE_READELF AND NOT EOLSWAP_STATIC)
    # The program's only call that glibc can fortify is fprintf, and glibc
    # fortifies the printf family under GCC only (it needs __va_arg_pack), so
    # the checked calls show in GCC builds alone.
    set(eolswap_fortify_visible 0)
    if(eolswap_fortify AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      set(eolswap_fortify_visible 1)
    endif()
    add_test(NAME hardening
      COMMAND bash ${PROJECT_SOURCE_DIR}/tests/hardening_test.sh
        $<TARGET_FILE:eolswap>
        "$<IF:$<AND:$<BOOL:${eolswap_fortify_visible}>,${eolswap_optimised}>,1,0>")
  endif()
endif()
