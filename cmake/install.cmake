# What `cmake --install` puts on a system, and the packages made of it.
#
# Everything a user gets is in the install component "cuesmelt": the
# executable, its manual page and the shell completions. The packages add
# what only they carry, each from a component of its own that a plain
# `cmake --install` leaves out (EXCLUDE_FROM_ALL): "debian" holds the
# copyright file and changelog that Debian wants in /usr/share/doc, "archive"
# the README, LICENSE and the pages README links to at the top of the release
# archives (the Linux tarball and the Windows zip, which holds only
# cuesmelt.exe besides them).
# Nothing else in the project installs anything, so test programs can never
# end up in a package.

include(GNUInstallDirs)

# Gzipped with -9n, as Debian wants manual pages and changelogs: no name and
# no time in the header, so the same input always gives the same bytes.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
function(cuesmelt_gzip input output)
  execute_process(COMMAND ${GZIP_EXECUTABLE} -9n -c ${input}
                  OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# The manual page carries the version of project(); the file in the source
# tree is a template so that the version is written in one place. The plain
# page stays in the build folder for the documented-messages test.
set(cuesmelt_man_page ${CMAKE_BINARY_DIR}/doc/cuesmelt.1)
# The banner line it quotes names the configured address, each hyphen-minus
# written as roff wants one typed.
string(REPLACE "-" "\\-" cuesmelt_home_page_roff "${CUESMELT_HOME_PAGE}")
configure_file(${CMAKE_SOURCE_DIR}/doc/cuesmelt.1.in ${cuesmelt_man_page} @ONLY)
cuesmelt_gzip(${cuesmelt_man_page} ${cuesmelt_man_page}.gz)

if(WIN32)
  # The Windows zip: cuesmelt.exe at the top of its folder, beside README.md
  # and LICENSE (the "archive" component below). A console program has no
  # manual page or shell completion there.
  install(TARGETS cuesmelt RUNTIME DESTINATION . COMPONENT cuesmelt)
else()
  install(TARGETS cuesmelt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cuesmelt)
  # A stripping install (`--strip`, and the packages) also drops the .comment
  # section, the compiler version strings that crt files and libraries leave,
  # the way Debian's own packaging tools strip a program.
  install(CODE "
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/cuesmelt\")
    if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"\${installed}\")
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"\${installed}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()" COMPONENT cuesmelt)
  install(FILES ${cuesmelt_man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cuesmelt)
  install(FILES ${CMAKE_SOURCE_DIR}/completion/cuesmelt.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME cuesmelt
          COMPONENT cuesmelt)
  install(FILES ${CMAKE_SOURCE_DIR}/completion/_cuesmelt
          DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
          COMPONENT cuesmelt)
endif()

set(CPACK_PACKAGE_NAME cuesmelt)
set(CPACK_PACKAGE_VENDOR "the cuesmelt developers")
set(CPACK_PACKAGE_CONTACT "${CUESMELT_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${CUESMELT_HOME_PAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert Redump Dreamcast CD dumps (CUE/BIN) into CDI disc images")
# Lines of the long description, as the Debian control file wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "cuesmelt converts a multi-session CD dump of a Sega Dreamcast disc in the"
  "Redump layout, a CUE sheet plus one BIN file of raw 2352-byte sectors per"
  "track, into one CDI disc image that emulators and burning tools load."
  "GD-ROM dumps are refused.")
set(CPACK_STRIP_FILES ON)

# --- Debian: /usr/share/doc/cuesmelt/copyright and changelog.gz.
# The copyright file is in Debian's machine-readable format, its licence text
# taken from LICENSE so that the two cannot drift apart. The changelog is
# doc/changelog, in Debian's format; its top entry must name the version of
# project() (tools/check_package.sh checks that, and lintian the rest).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/doc/changelog)
file(READ ${CMAKE_SOURCE_DIR}/LICENSE license)
if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.+)$")
  message(FATAL_ERROR "LICENSE: no 'Copyright (c) ...' line followed by the licence text")
endif()
set(cuesmelt_copyright "${CMAKE_MATCH_1}")
# Continuation lines of a field: one space in front, "." for an empty line.
string(STRIP "${CMAKE_MATCH_2}" cuesmelt_license_text)
string(REPLACE "\n\n" "\n.\n" cuesmelt_license_text "${cuesmelt_license_text}")
string(REPLACE "\n" "\n " cuesmelt_license_text " ${cuesmelt_license_text}")
configure_file(${CMAKE_SOURCE_DIR}/doc/copyright.in ${CMAKE_BINARY_DIR}/doc/copyright @ONLY)
cuesmelt_gzip(${CMAKE_SOURCE_DIR}/doc/changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT debian EXCLUDE_FROM_ALL)

# --- Release archives: README.md, LICENSE and the pages README.md links to,
# beside bin/ and share/ (beside cuesmelt.exe in the Windows zip).
include(${CMAKE_SOURCE_DIR}/cmake/documents.cmake)
cuesmelt_install_documents(COMPONENT archive EXCLUDE_FROM_ALL)

# What `cpack --config <build>/CPackConfig.cmake` makes, into <build>/packages
# (`cpack -G` chooses another): the zip of a Windows build, the release
# archive of a static build, the Debian package of any other.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
elseif(CUESMELT_STATIC)
  set(CPACK_GENERATOR TGZ)
else()
  set(CPACK_GENERATOR DEB)
endif()
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

# DEB (build-package): cuesmelt_<version>_<arch>.deb. The package preset
# links with -z relro -z now, as Debian's hardening does.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Where Debian files tools for other systems' disc images and file systems.
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# cpack labels a package with the build machine's architecture; a cross
# build's toolchain file names the target's (dpkg-shlibdeps then needs the
# target's libc6, libstdc++6 and libgcc-s1 from the multiarch packages).
if(CUESMELT_DEBIAN_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CUESMELT_DEBIAN_ARCHITECTURE})
endif()

# TGZ (build-release): cuesmelt-<version>-linux-<cpu>.tar.gz, everything under
# a folder of the same name; ZIP (build-windows) likewise. The processor as
# `uname -m` names it (x86_64, aarch64), but 32-bit ARM by the name of the
# ABI the program needs, Debian's armhf: `uname -m` says armv7l or armv8l
# there, and names no ABI.
string(TOLOWER "${CMAKE_SYSTEM_NAME}" cuesmelt_system)
set(cuesmelt_cpu ${CMAKE_SYSTEM_PROCESSOR})
if(CUESMELT_DEBIAN_ARCHITECTURE STREQUAL "armhf")
  set(cuesmelt_cpu armhf)
endif()
set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-${cuesmelt_system}-${cuesmelt_cpu}")

# The time every file in the packages carries: the date of the changelog's
# top entry, as seconds since 1970.
file(STRINGS ${CMAKE_SOURCE_DIR}/doc/changelog trailer REGEX "^ -- .*>  " LIMIT_COUNT 1)
string(REGEX REPLACE "^ -- .*>  " "" release_date "${trailer}")
execute_process(COMMAND date -u -d "${release_date}" +%s
                OUTPUT_VARIABLE CPACK_CUESMELT_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE date_status)
if(NOT date_status EQUAL 0 OR NOT CPACK_CUESMELT_RELEASE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "doc/changelog: no date in the top entry's ' -- ' line")
endif()

# Which components each package is made of, and the time stamp, are settled
# per generator when cpack runs (cmake/cpack_project.cmake).
set(CPACK_CUESMELT_BINARY_DIR ${CMAKE_BINARY_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack_project.cmake)

include(CPack)
