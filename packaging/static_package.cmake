# The package presets tgz and rpm read this in place of the static build's
# CPackConfig.cmake, so that without that build they say what to run first.
set(static_build "${CMAKE_CURRENT_LIST_DIR}/../build-static")
if(NOT EXISTS "${static_build}/CPackConfig.cmake" OR NOT EXISTS "${static_build}/geocart")
  message(NOTICE "no static build in build-static/: run `cmake --workflow --preset static` first")
  return()
endif()
include("${static_build}/CPackConfig.cmake")
