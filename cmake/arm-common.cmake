# Shared part of the ARM toolchain files. The including file sets
# VEMO_ARM_TRIPLET, VEMO_ARM_FLAGS and VEMO_QEMU_CPU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER ${VEMO_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VEMO_ARM_TRIPLET}-g++)
set(CMAKE_C_FLAGS_INIT "${VEMO_ARM_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${VEMO_ARM_FLAGS}")

# Libraries and packages come from the cross sysroot only (never the host's
# x86_64 GoogleTest or Benchmark); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VEMO_ARM_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under qemu-arm. LD_LIBRARY_PATH=/lib pins the guest's libc
# and libstdc++ to the cross sysroot. The sysroot has no gconv modules, so
# iconv needs GCONV_PATH: scripts/setup.sh fetches them into .cache/gconv; a
# multiarch libc6 of the target architecture serves as well.
if(NOT VEMO_QEMU_GCONV_PATH)
  get_filename_component(_vemo_gconv "${CMAKE_CURRENT_LIST_DIR}/../.cache/gconv/${VEMO_ARM_TRIPLET}" ABSOLUTE)
  if(EXISTS "${_vemo_gconv}/gconv-modules")
    set(VEMO_QEMU_GCONV_PATH "${_vemo_gconv}")
  elseif(EXISTS "/usr/lib/${VEMO_ARM_TRIPLET}/gconv/gconv-modules")
    set(VEMO_QEMU_GCONV_PATH "/usr/lib/${VEMO_ARM_TRIPLET}/gconv")
  endif()
endif()

find_program(VEMO_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${VEMO_QEMU_ARM} -cpu ${VEMO_QEMU_CPU} -L /usr/${VEMO_ARM_TRIPLET} -E LD_LIBRARY_PATH=/lib)
if(VEMO_QEMU_GCONV_PATH)
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -E GCONV_PATH=${VEMO_QEMU_GCONV_PATH})
endif()
