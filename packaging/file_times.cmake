# Run by cpack before it makes the RPM: rpmbuild only brings times later than
# SOURCE_DATE_EPOCH down to it, so a file of the source tree older than the
# last commit would keep its own time; every staged file gets that time here.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  return()
endif()
execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}"
                        -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                COMMAND_ERROR_IS_FATAL ANY)
