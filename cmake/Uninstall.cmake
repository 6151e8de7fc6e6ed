# SPDX-License-Identifier: BSD-2-Clause
# Run by the uninstall target (cmake --build build --target uninstall):
# removes the files that the last cmake --install of this build tree wrote,
# as EOLSWAP_RECORD lists them, with the DESTDIR of that install. The
# folders are left to the other programs that use them, except those named
# after this program, which hold nothing else and go once empty.
if(NOT EXISTS "${EOLSWAP_RECORD}")
  message(FATAL_ERROR "nothing to uninstall: no ${EOLSWAP_RECORD}, which "
          "cmake --install of this build tree writes")
endif()
file(STRINGS "${EOLSWAP_RECORD}" eolswap_installed)
foreach(file IN LISTS eolswap_installed)
  if(NOT EXISTS "${file}" AND NOT IS_SYMLINK "${file}")
    message(STATUS "Not there: ${file}")
    continue()
  endif()
  message(STATUS "Removing: ${file}")
  file(REMOVE "${file}")
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(FATAL_ERROR "cannot remove ${file}")
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  get_filename_component(folder_name "${folder}" NAME)
  file(GLOB left "${folder}/*" "${folder}/.*")
  if(folder_name STREQUAL "eolswap" AND NOT left)
    file(REMOVE_RECURSE "${folder}")
  endif()
endforeach()
