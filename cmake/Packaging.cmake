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

if(BUILD_TESTING)
  add_test(NAME manpage
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/manpage_test.sh
      ${PROJECT_SOURCE_DIR}/man/man1/eolswap.1 $<TARGET_FILE:eolswap>)
  set_tests_properties(manpage PROPERTIES SKIP_RETURN_CODE 77)
  add_test(NAME bash_completion
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/completion_test.sh
      ${PROJECT_SOURCE_DIR}/completions/eolswap)
endif()
