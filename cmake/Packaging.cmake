# SPDX-License-Identifier: BSD-2-Clause
# What installs beside the program, and the Debian package that cpack builds
# from it. CPack reads the install rules, so this file is included after all
# of them.

install(FILES ${PROJECT_SOURCE_DIR}/man/man1/eolswap.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# bash-completion loads completions/<command> on demand from its own
# directory, or from share/bash-completion/completions under any prefix in
# XDG_DATA_DIRS. Its directory is used only when it lies inside the install
# prefix, and then relative to it, so that a staged or packaged install
# stays inside its root.
set(eolswap_completions_dir
    "${CMAKE_INSTALL_DATADIR}/bash-completion/completions")
find_package(bash-completion CONFIG QUIET)
if(BASH_COMPLETION_COMPLETIONSDIR)
  file(RELATIVE_PATH eolswap_relative_dir
       "${CMAKE_INSTALL_PREFIX}" "${BASH_COMPLETION_COMPLETIONSDIR}")
  if(NOT eolswap_relative_dir MATCHES "^\\.\\./"
     AND NOT IS_ABSOLUTE "${eolswap_relative_dir}")
    set(eolswap_completions_dir "${eolswap_relative_dir}")
  endif()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/completions/eolswap
        DESTINATION ${eolswap_completions_dir})

# zsh and fish find vendor completions under share/ of their own prefix;
# Debian's zsh looks in share/zsh/vendor-completions of /usr only, and
# share/zsh/site-functions serves /usr/local. fish looks under /usr/local
# only when XDG_DATA_DIRS names /usr/local/share, but always in
# /etc/fish/completions, which an absolute path here selects.
set(EOLSWAP_ZSH_COMPLETIONS_DIR "${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions"
    CACHE STRING "Where the zsh completion installs, under the prefix")
install(FILES ${PROJECT_SOURCE_DIR}/completions/_eolswap
        DESTINATION ${EOLSWAP_ZSH_COMPLETIONS_DIR})
set(EOLSWAP_FISH_COMPLETIONS_DIR
    "${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d"
    CACHE STRING "Where the fish completion installs, under the prefix")
install(FILES ${PROJECT_SOURCE_DIR}/completions/eolswap.fish
        DESTINATION ${EOLSWAP_FISH_COMPLETIONS_DIR})

# The licence and the history, in the forms Debian asks for: copyright in
# the machine-readable format with the licence text of LICENSE, and the
# changelog, whose top entry must name the version being built. cpack
# compresses the changelog.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE eolswap_license)
if(NOT eolswap_license MATCHES "\nCopyright \\(c\\) ([0-9]+), ([^\n]+)\n")
  message(FATAL_ERROR "LICENSE: no copyright line")
endif()
set(eolswap_copyright "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
string(FIND "${eolswap_license}" "Redistribution" eolswap_terms_start)
string(SUBSTRING "${eolswap_license}" ${eolswap_terms_start} -1 eolswap_terms)
string(STRIP "${eolswap_terms}" eolswap_terms)
string(REPLACE "\n" "\n " eolswap_terms " ${eolswap_terms}")
string(REPLACE "\n \n" "\n .\n" eolswap_terms "${eolswap_terms}")
file(WRITE ${PROJECT_BINARY_DIR}/packaging/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: eolswap\n"
  "\n"
  "Files: *\n"
  "Copyright: ${eolswap_copyright}\n"
  "License: BSD-2-Clause\n"
  "\n"
  "License: BSD-2-Clause\n"
  "${eolswap_terms}\n")
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog eolswap_changelog_top
     LIMIT_COUNT 1)
string(REGEX MATCH "^eolswap \\(([^)]*)\\) " eolswap_changelog_top
       "${eolswap_changelog_top}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the top entry is version "
          "'${CMAKE_MATCH_1}', not ${PROJECT_VERSION}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/changelog)
install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright
              ${PROJECT_SOURCE_DIR}/packaging/changelog
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Uninstalling: the last install rule records, in the build tree, the files
# that cmake --install wrote, with its DESTDIR, for the uninstall target.
# install_manifest.txt will not do: it leaves DESTDIR out, and cpack's own
# install into its staging folder rewrites it with the package's paths
# under /usr, which are then another package's files. The record is kept
# from cpack's installs for the same reason.
set(eolswap_record ${PROJECT_BINARY_DIR}/install_record.txt)
set(eolswap_record_code [=[
  string(FIND "$ENV{DESTDIR}" "/_CPack_Packages/" eolswap_staged)
  if(eolswap_staged EQUAL -1)
    list(TRANSFORM CMAKE_INSTALL_MANIFEST_FILES PREPEND "$ENV{DESTDIR}"
         OUTPUT_VARIABLE eolswap_installed)
    list(JOIN eolswap_installed "\n" eolswap_installed)
    file(WRITE "@eolswap_record@" "${eolswap_installed}\n")
  endif()
]=])
string(CONFIGURE "${eolswap_record_code}" eolswap_record_code @ONLY)
install(CODE "${eolswap_record_code}")
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DEOLSWAP_RECORD=${eolswap_record}
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  VERBATIM)

# The page, the completions and the git recipe of the README are checked
# once, by the native build.
if(BUILD_TESTING AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME manpage
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/manpage_test.sh
      ${PROJECT_SOURCE_DIR}/man/man1/eolswap.1 $<TARGET_FILE:eolswap>)
  set_tests_properties(manpage PROPERTIES SKIP_RETURN_CODE 77)
  add_test(NAME bash_completion
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/completion_test.sh
      bash ${PROJECT_SOURCE_DIR}/completions/eolswap)
  add_test(NAME zsh_completion
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/completion_test.sh
      zsh ${PROJECT_SOURCE_DIR}/completions/_eolswap)
  add_test(NAME fish_completion
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/completion_test.sh
      fish ${PROJECT_SOURCE_DIR}/completions/eolswap.fish $<TARGET_FILE:eolswap>)
  set_tests_properties(zsh_completion fish_completion
    PROPERTIES SKIP_RETURN_CODE 77)
  add_test(NAME git_filter
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/git_filter_test.sh
      $<TARGET_FILE:eolswap>)
  set_tests_properties(git_filter PROPERTIES SKIP_RETURN_CODE 77)
endif()

# The Debian package: cd build && cpack gives eolswap_<version>_<arch>.deb;
# cpack -G RPM gives the RPM package with the same files.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VENDOR "eolswap maintainers")
set(CPACK_PACKAGE_CONTACT
    "eolswap maintainers <maintainers@users.noreply.c-seed-3ff9fbd5.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "rewrite the line breaks of text files as LF, CR LF or CR")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "eolswap converts every line break of a file or a pipe to UNIX (LF),\n"
  "DOS (CR LF) or Mac (CR) conventions and copies every other byte\n"
  "unchanged, in constant memory. It can also refuse input that is not\n"
  "plain text, and report which line breaks a file uses.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/CompressDocs.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackChecks.cmake)

# rpmbuild (package rpm) finds the dependencies itself. The folders that
# the filesystem, man and the shells own are left to them, and the
# build-id links that rpmbuild adds by default are left out, so that the
# package holds the files of the .deb and no more.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_SUMMARY
    "Rewrite the line breaks of text files as LF, CR LF or CR")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_LICENSE BSD-2-Clause)
set(CPACK_RPM_PACKAGE_GROUP "Applications/Text")
set(CPACK_PACKAGE_RELOCATABLE OFF)
set(CPACK_RPM_SPEC_MORE_DEFINE
    "%define packager ${CPACK_PACKAGE_CONTACT}\n%define _build_id_links none")
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/man /usr/share/man/man1
    /usr/share/bash-completion /usr/share/bash-completion/completions
    /usr/share/zsh /usr/share/zsh/vendor-completions
    /usr/share/fish /usr/share/fish/vendor_completions.d)
include(CPack)
