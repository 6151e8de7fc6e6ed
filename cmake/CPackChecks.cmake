# SPDX-License-Identifier: BSD-2-Clause
# Read by cpack once for each generator, before it builds the package.
#
# Without dpkg-shlibdeps, CPack's DEB generator only warns and writes a
# package with no Depends field, which then installs on systems that cannot
# run the program. Such a package is not built at all.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
  # Like CPack's own search: a file that cannot be executed is not the tool.
  cmake_policy(PUSH)
  cmake_policy(SET CMP0109 NEW)
  find_program(EOLSWAP_DPKG_SHLIBDEPS dpkg-shlibdeps)
  cmake_policy(POP)
  if(NOT EOLSWAP_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps is missing (package dpkg-dev); "
            "without it the .deb would declare no dependencies. Install "
            "dpkg-dev and run cpack again.")
  endif()
endif()
