# SPDX-License-Identifier: BSD-2-Clause
# Run by cpack in the staging tree before it builds the package: compresses
# each manual page and the changelog the way Debian asks, with gzip -9n
# (best compression, no name or time stamp in the header, so that rebuilding
# gives the same bytes). A plain cmake --install leaves them as they are.
find_program(EOLSWAP_GZIP gzip REQUIRED)
file(GLOB_RECURSE eolswap_staged LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS eolswap_staged)
  if(NOT file MATCHES "/man/man[1-9]/[^/]+$|/doc/[^/]+/changelog$"
     OR file MATCHES "\\.gz$")
    continue()
  endif()
  execute_process(COMMAND "${EOLSWAP_GZIP}" -9n "${file}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed: ${status}")
  endif()
endforeach()
