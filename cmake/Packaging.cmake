# Install layout and the Debian package.
#   bin/quillbook
#   lib/quillbook/{Quillbook.so,Quillbook.lng,libdvo.so,libhha.so}
#   share/{man/man1,bash-completion/completions,doc/quillbook}
# The plug-in finds libhha.so and its language file beside itself, so the
# libraries stay together in one private folder instead of the system's.
set(QB_INSTALL_PKGLIBDIR lib/quillbook)

set_target_properties(quillbook PROPERTIES INSTALL_RPATH "$ORIGIN/../${QB_INSTALL_PKGLIBDIR}")
install(TARGETS quillbook RUNTIME DESTINATION bin)
install(TARGETS dvo hha LIBRARY DESTINATION ${QB_INSTALL_PKGLIBDIR} NAMELINK_SKIP)
if(TARGET Quillbook)
  install(TARGETS Quillbook LIBRARY DESTINATION ${QB_INSTALL_PKGLIBDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/src/settings/Quillbook.lng DESTINATION ${QB_INSTALL_PKGLIBDIR})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillbook.1 DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillbook.bash-completion
        DESTINATION share/bash-completion/completions RENAME quillbook)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION share/doc/quillbook)
# Debian looks for the licence under this name.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/quillbook RENAME copyright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbook)
set(CPACK_PACKAGE_VENDOR "The Quillbook developers")
set(CPACK_PACKAGE_CONTACT "The Quillbook developers <quillbook@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exports outliner databases to HTML pages and compiled help files")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quillbook walks a branch or the whole of an outliner database and writes one HTML page per item,\n"
    "attachment pages, label pages and an HTML Help project, then compiles them into one .chm file.\n"
    "It comes as a command line (quillbook) and as a plug-in module with a wizard.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES OFF)  # the debug-info package below strips and keeps the symbols
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${QB_OUT})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-writer-nogui, python3-uno")
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
include(CPack)
