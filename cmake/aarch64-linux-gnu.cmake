# Cross build for 64-bit ARM Linux with Debian's cross toolchain
# (apt-get install g++-aarch64-linux-gnu), its tests run on this machine
# under qemu-user (apt-get install qemu-user-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries and headers come from the target's own tree only: the
# machine's x86-64 GoogleTest or MPFR must not be taken for the target's.
set(geocart_target_root /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${geocart_target_root})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The tests and the programs they start run under the emulator. This
# machine's kernel has no binfmt_misc entry for aarch64, so nothing of the
# target runs without it being named; -L lets the dynamically linked test
# programs find the target's loader and libraries.
find_program(GEOCART_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
if(GEOCART_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${GEOCART_QEMU_AARCH64} -L ${geocart_target_root})
endif()
