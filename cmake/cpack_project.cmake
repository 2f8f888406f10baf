# Read by cpack before each generator runs (CPACK_PROJECT_CONFIG_FILE).

# The components that go into the package this generator makes. Only the
# ones named here are installed, never every component of the build.
set(components cuesmelt)
if(CPACK_GENERATOR STREQUAL "DEB")
  list(APPEND components debian)
elseif(CPACK_GENERATOR MATCHES "^(TGZ|TXZ|TBZ2|TZST|ZIP)$")
  list(APPEND components archive)
endif()
set(CPACK_INSTALL_CMAKE_PROJECTS)
foreach(component IN LISTS components)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_CUESMELT_BINARY_DIR}" cuesmelt ${component} /)
endforeach()

# The same tarball whoever packs it: owned by root, in a fixed order.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack_tarball.cmake)
endif()

# cpack stamps every file of a package with SOURCE_DATE_EPOCH when it is set,
# and with the time of the build otherwise. The date of the release, from
# the changelog, makes two builds of one version the same package; a date
# set in the environment wins.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_CUESMELT_RELEASE_EPOCH}")
endif()
