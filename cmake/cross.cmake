# Cross builds with Debian's cross compilers (g++-aarch64-linux-gnu, g++-s390x-linux-gnu), for the
# filter and korvidecode; scripts/cross-check.sh shows the use:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake \
#         -DKORVI_CROSS_TRIPLET=aarch64-linux-gnu [-DKORVI_SYSROOT=DIR]
# Without KORVI_SYSROOT the target's libraries come from multiarch (libcups2-dev:arm64 installed
# beside the machine's own); with it, from packages unpacked into DIR. The compiler's own C and C++
# libraries are used either way. A cross build makes the programs alone unless asked for more
# (BUILD_TESTING, KORVI_BENCH and KORVI_PRINTER_APP default to OFF).
set(CMAKE_SYSTEM_NAME Linux)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVI_CROSS_TRIPLET KORVI_SYSROOT)
if(NOT KORVI_CROSS_TRIPLET)
  message(FATAL_ERROR "Set KORVI_CROSS_TRIPLET, e.g. aarch64-linux-gnu or s390x-linux-gnu")
endif()
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${KORVI_CROSS_TRIPLET}")
set(CMAKE_C_COMPILER ${KORVI_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KORVI_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${KORVI_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)  # ppdc and cups-config are the build machine's
if(KORVI_SYSROOT)
  set(CMAKE_FIND_ROOT_PATH ${KORVI_SYSROOT})
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
  # What the found libraries load in turn is in the sysroot too.
  set(CMAKE_EXE_LINKER_FLAGS_INIT
      "-Wl,-rpath-link,${KORVI_SYSROOT}/usr/lib/${KORVI_CROSS_TRIPLET}:${KORVI_SYSROOT}/lib/${KORVI_CROSS_TRIPLET}")
endif()
