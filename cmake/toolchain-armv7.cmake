# ARMv7-A panels (armhf): Thumb-2, VFPv3-D16, floats passed in VFP registers.
set(VEMO_ARM_TRIPLET arm-linux-gnueabihf)
set(VEMO_ARM_FLAGS "-march=armv7-a -mthumb -mfpu=vfpv3-d16 -mfloat-abi=hard")
# A core with exactly VFPv3-D16 and no NEON: a stray NEON instruction or use
# of D16-D31 traps in the tests instead of on a panel.
set(VEMO_QEMU_CPU cortex-r5f)
include(${CMAKE_CURRENT_LIST_DIR}/arm-common.cmake)
