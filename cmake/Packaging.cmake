# What installs beside the program, and the Debian package that cpack builds
# from it. CPack reads the install rules, so this file is included after all
# of them.

install(FILES ${PROJECT_SOURCE_DIR}/man/man1/eolswap.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(BUILD_TESTING)
  add_test(NAME manpage
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/manpage_test.sh
      ${PROJECT_SOURCE_DIR}/man/man1/eolswap.1 $<TARGET_FILE:eolswap>)
  set_tests_properties(manpage PROPERTIES SKIP_RETURN_CODE 77)
endif()
