# Cross build for 64-bit little-endian POWER Linux (ppc64le) with Debian's
# cross toolchain (apt-get install g++-powerpc64le-linux-gnu), its tests run
# on this machine under qemu-user (apt-get install qemu-user-static).
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(geocart_target_triple powerpc64le-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
