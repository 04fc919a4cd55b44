# Cross build for IBM Z Linux (s390x, big-endian) with Debian's cross
# toolchain (apt-get install g++-s390x-linux-gnu), its tests run on this
# machine under qemu-user (apt-get install qemu-user-static).
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(geocart_target_triple s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
