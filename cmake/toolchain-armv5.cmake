# ARMv5TE panels (armel): ARM instruction set, software floating point.
set(VEMO_ARM_TRIPLET arm-linux-gnueabi)
set(VEMO_ARM_FLAGS "-march=armv5te -marm -mfloat-abi=soft")
# An ARMv5TE core: any ARMv6/v7 instruction traps in the tests.
set(VEMO_QEMU_CPU arm926)
include(${CMAKE_CURRENT_LIST_DIR}/arm-common.cmake)
