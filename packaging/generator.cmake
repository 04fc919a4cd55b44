# Read by cpack for each package it makes: the components the package holds,
# its file name, and the time stamps that make two builds give the same bytes.

# Every time stamp is SOURCE_DATE_EPOCH, or when it is not set the time of the
# last commit: not the time of the build.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  execute_process(COMMAND git -C "${CPACK_GEOCART_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(failed EQUAL 0 AND epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
  else()
    message(WARNING "no git history in ${CPACK_GEOCART_SOURCE_DIR}: the package takes the "
                    "time of the build unless SOURCE_DATE_EPOCH is set")
  endif()
endif()

if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL tool package_doc debian_doc debian_lintian)
  return()
endif()

if(NOT CPACK_GEOCART_STATIC)
  message(FATAL_ERROR
          "${CPACK_GENERATOR} needs the static build: run `cmake --workflow --preset static`")
endif()
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENTS_ALL tool tarball_doc)
  set(CPACK_PACKAGE_FILE_NAME
      "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_GEOCART_SYSTEM}")
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sorted_tarball.cmake)
elseif(CPACK_GENERATOR STREQUAL "RPM")
  cmake_policy(PUSH)
  cmake_policy(SET CMP0109 NEW)  # a file that cannot be run is no rpmbuild
  find_program(GEOCART_RPMBUILD rpmbuild)
  cmake_policy(POP)
  if(NOT GEOCART_RPMBUILD)
    message(FATAL_ERROR "rpmbuild not found: install Debian's package rpm (apt-get install rpm)")
  endif()
  set(CPACK_COMPONENTS_ALL tool package_doc rpm_license)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/file_times.cmake)
  set(CPACK_PACKAGE_RELOCATABLE OFF)
  # Folders that the distribution's filesystem package owns.
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
      /usr/share/man /usr/share/man/man1 /usr/share/licenses /usr/share/doc)
  # rpmbuild otherwise writes the build's host and time into the header and
  # the files' own times into the payload. A static PIE has a hash table of
  # its own symbols but no loader to read it, so it requires no rtld(GNU_HASH).
  set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_GEOCART_MAINTAINER}
%define _buildhost reproducible
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%global __requires_exclude ^rtld\\\\(GNU_HASH\\\\)$")
endif()
