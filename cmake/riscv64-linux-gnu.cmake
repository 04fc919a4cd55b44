# Cross build for 64-bit RISC-V Linux (riscv64) with Debian's cross
# toolchain (apt-get install g++-riscv64-linux-gnu), its tests run on this
# machine under qemu-user (apt-get install qemu-user-static).
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(geocart_target_triple riscv64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
