# Run by cpack after it writes the tarball, to write it again so that two
# builds give the same bytes: cpack stores the members in the order in which
# the file system lists them and with the build's owner. GNU tar sorts them
# by name and gives them owner and group 0, the time SOURCE_DATE_EPOCH and
# modes free of the umask; gzip -n leaves out a name and a time.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  string(TIMESTAMP epoch "%s" UTC)
endif()
foreach(tarball IN LISTS CPACK_PACKAGE_FILES)
  set(unpacked "${tarball}.d")
  file(REMOVE_RECURSE "${unpacked}")
  file(MAKE_DIRECTORY "${unpacked}")
  execute_process(COMMAND tar -xzf "${tarball}" -C "${unpacked}" COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB top RELATIVE "${unpacked}" "${unpacked}/*")
  execute_process(
    COMMAND tar -C "${unpacked}" --sort=name --owner=0 --group=0 --numeric-owner
            --mtime=@${epoch} --mode=u+rwX,go=rX --format=gnu -cf - ${top}
    COMMAND gzip -9 -n
    OUTPUT_FILE "${tarball}"
    COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${unpacked}")
endforeach()
