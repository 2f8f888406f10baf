# Running the Windows build's programs under Wine on the Linux machine that
# cross-builds them: the sample disc generator and the sample conversion at
# build time, the unit and end-to-end tests under CTest.
#
# Everything runs in a Wine prefix of its own inside the build folder, so a
# build never touches ~/.wine, with WINEDEBUG=-all so that Wine's own
# diagnostics stay out of the standard error the tests capture. Debian keeps
# the 64-bit loader outside PATH, in /usr/lib/wine; its `wine` wrapper in
# /usr/bin would do as well, but prints a hint about the missing 32-bit Wine
# unless WINEDEBUG is set.
#
# Sets CMAKE_CROSSCOMPILING_EMULATOR (unless the caller chose one) and, when
# Wine is found, CUESMELT_WINE_PREFIX and CUESMELT_WINESERVER for the tests'
# persistent server, and the target wine_prefix that creates the prefix.

if(CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()
find_program(CUESMELT_WINE NAMES wine64 wine PATHS /usr/lib/wine)
find_program(CUESMELT_WINESERVER NAMES wineserver PATHS /usr/lib/wine)
if(NOT CUESMELT_WINE OR NOT CUESMELT_WINESERVER)
  message(STATUS "Wine not found (Debian package wine64)")
  return()
endif()

set(CUESMELT_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CUESMELT_WINE_ENVIRONMENT WINEPREFIX=${CUESMELT_WINE_PREFIX} WINEDEBUG=-all)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env ${CUESMELT_WINE_ENVIRONMENT} ${CUESMELT_WINE})

# Creating a prefix takes several seconds and reports itself on standard
# error, so it is done once, at build time, before any program runs in it.
# Wine writes the registry when its server exits, hence the wait.
set(wine_prefix_stamp ${CMAKE_BINARY_DIR}/wineprefix.stamp)
add_custom_command(
  OUTPUT ${wine_prefix_stamp}
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
  COMMAND /usr/bin/env ${CUESMELT_WINE_ENVIRONMENT} ${CUESMELT_WINESERVER} -w
  COMMAND ${CMAKE_COMMAND} -E touch ${wine_prefix_stamp}
  COMMENT "Creating the Wine prefix ${CUESMELT_WINE_PREFIX}"
  VERBATIM)
add_custom_target(wine_prefix ALL DEPENDS ${wine_prefix_stamp})
