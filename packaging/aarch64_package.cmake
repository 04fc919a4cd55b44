# The aarch64 package presets read this in place of the cross build's
# CPackConfig.cmake, so that without that build they say what to run first.
set(cross_build "${CMAKE_CURRENT_LIST_DIR}/../build-aarch64")
if(NOT EXISTS "${cross_build}/CPackConfig.cmake" OR NOT EXISTS "${cross_build}/geocart")
  message(NOTICE "no aarch64 build in build-aarch64/: run `cmake --workflow --preset static-aarch64` first")
  return()
endif()
include("${cross_build}/CPackConfig.cmake")
