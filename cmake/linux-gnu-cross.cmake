# What every cross build for a Linux machine with Debian's cross toolchain
# shares; the toolchain file of each machine sets CMAKE_SYSTEM_PROCESSOR
# (also the name of its qemu-user emulator) and geocart_target_triple (the
# prefix of its compilers and the folder of its libraries under /usr), then
# includes this file. The tests run on this machine under qemu-user
# (apt-get install qemu-user-static).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${geocart_target_triple}-gcc)
set(CMAKE_CXX_COMPILER ${geocart_target_triple}-g++)

# Libraries and headers come from the target's own tree only: the
# machine's x86-64 GoogleTest or MPFR must not be taken for the target's.
set(geocart_target_root /usr/${geocart_target_triple})
set(CMAKE_FIND_ROOT_PATH ${geocart_target_root})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The tests and the programs they start run under the emulator. This
# machine's kernel has no binfmt_misc entry for the target, so nothing of it
# runs without it being named; -L lets dynamically linked programs find the
# target's loader and libraries.
string(TOUPPER ${CMAKE_SYSTEM_PROCESSOR} geocart_machine)
find_program(GEOCART_QEMU_${geocart_machine}
             NAMES qemu-${CMAKE_SYSTEM_PROCESSOR}-static qemu-${CMAKE_SYSTEM_PROCESSOR})
if(GEOCART_QEMU_${geocart_machine})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${GEOCART_QEMU_${geocart_machine}} -L ${geocart_target_root})
endif()
