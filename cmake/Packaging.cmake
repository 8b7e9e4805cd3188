# Install layout (the Debian package is built from debian/ by debhelper).
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

# The manual's options part is generated from the command definitions at build time.
install(FILES ${CMAKE_BINARY_DIR}/quillbook.1 DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillbook.bash-completion
        DESTINATION share/bash-completion/completions RENAME quillbook)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION share/doc/quillbook)
# The README's pictures and notes, linked by relative names.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION share/doc/quillbook/docs)
# Debian looks for the licence under this name; the Debian package ships debian/copyright instead.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/quillbook RENAME copyright)
