# What `cmake --install` puts on a system, and the Debian package made of it.
#
# Everything a user gets is in the one install component "cuesmelt": the
# executable, its manual page and the shell completions. Nothing else in the
# project installs anything, and the package is built from this component
# alone, so test programs can never end up in it.

include(GNUInstallDirs)

# The manual page carries the version of project() above; the file in the
# source tree is a template so that the version is written in one place.
set(cuesmelt_man_page ${CMAKE_BINARY_DIR}/doc/cuesmelt.1)
configure_file(${CMAKE_SOURCE_DIR}/doc/cuesmelt.1.in ${cuesmelt_man_page} @ONLY)

install(TARGETS cuesmelt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cuesmelt)
install(FILES ${cuesmelt_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cuesmelt)
install(FILES ${CMAKE_SOURCE_DIR}/completion/cuesmelt.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME cuesmelt
        COMPONENT cuesmelt)
install(FILES ${CMAKE_SOURCE_DIR}/completion/_cuesmelt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
        COMPONENT cuesmelt)

# cpack -G DEB (or cpack --preset deb): one package, cuesmelt_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME cuesmelt)
set(CPACK_PACKAGE_VENDOR "the cuesmelt developers")
set(CPACK_PACKAGE_CONTACT "The cuesmelt developers <developers@cuesmelt.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://cuesmelt.example.org")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert Redump Dreamcast CD dumps (CUE/BIN) into CDI disc images")
# Lines of the long description, as the Debian control file wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "cuesmelt converts a multi-session CD dump of a Sega Dreamcast disc in the"
  "Redump layout, a CUE sheet plus one BIN file of raw 2352-byte sectors per"
  "track, into one CDI disc image that emulators and burning tools load."
  "GD-ROM dumps are refused.")
set(CPACK_STRIP_FILES ON)
# Only the product component goes into the package: the install projects
# list names it explicitly instead of installing every component.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};cuesmelt;/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION otherutils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
