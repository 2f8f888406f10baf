# The documents that travel with every archive (the Linux tarball, the
# Windows zip, the web zip): README.md, the first file a person opens in the
# unpacked folder, LICENSE, and every page README.md links to, at the same
# relative paths as in the repository, so that its links lead somewhere
# there too. The Debian package keeps Debian's own layout instead.
function(cuesmelt_install_documents)
  file(GLOB pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/doc/*.md ${CMAKE_SOURCE_DIR}/doc/*.png)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
                ${CMAKE_SOURCE_DIR}/CONTRIBUTING.md
          DESTINATION . ${ARGN})
  install(FILES ${pages} DESTINATION doc ${ARGN})
endfunction()
