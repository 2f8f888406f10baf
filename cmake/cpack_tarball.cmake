# Run by cpack after it made the release tarball (CPACK_POST_BUILD_SCRIPTS).
#
# cpack's tar entries carry the builder's user and group, in the order the
# file system lists the staging folder, so the same version packed by two
# people, or on two file systems, gives two archives. GNU tar packs the
# tarball's content again the way every builder gets it alike: entries
# sorted by name, owned by root:root (0/0), group and others allowed what
# the owner is except writing, every time the release date; gzip -n leaves
# out the file name and time it would otherwise record.

find_program(CUESMELT_GNU_TAR NAMES gtar tar REQUIRED)
find_program(CUESMELT_GZIP gzip REQUIRED)

foreach(tarball IN LISTS CPACK_PACKAGE_FILES)
  if(NOT tarball MATCHES "\\.tar\\.gz$")
    continue()
  endif()
  set(unpacked "${tarball}.content")
  file(REMOVE_RECURSE "${unpacked}")
  file(MAKE_DIRECTORY "${unpacked}")
  execute_process(COMMAND "${CUESMELT_GNU_TAR}" -xpzf "${tarball}" -C "${unpacked}"
                  COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB top_folders RELATIVE "${unpacked}" "${unpacked}/*")
  execute_process(
    COMMAND "${CUESMELT_GNU_TAR}" --create --format=gnu --sort=name
            --owner=root:0 --group=root:0 --mode=u+rw,go=u-w
            --mtime=@$ENV{SOURCE_DATE_EPOCH} -C "${unpacked}" ${top_folders}
    COMMAND "${CUESMELT_GZIP}" -9n
    OUTPUT_FILE "${tarball}"
    COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${unpacked}")
endforeach()
