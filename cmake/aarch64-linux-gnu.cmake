# Cross build for 64-bit Arm Linux with Debian's aarch64-linux-gnu compiler,
# for the engine tests under qemu-user (tools/scripts/test-aarch64.sh).
# Libraries built for this target (zlib, libpng, GoogleTest) live in
# QUORVEX_AARCH64_DEPS; there is no window system or font library for it,
# so the build is headless (QUORVEX_HEADLESS).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(QUORVEX_AARCH64_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${QUORVEX_AARCH64_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QUORVEX_AARCH64_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEX_AARCH64_TRIPLET} ${QUORVEX_AARCH64_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives: the programs run under qemu with the target's C library only.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/${QUORVEX_AARCH64_TRIPLET})
endif()

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEX_AARCH64_DEPS)
if(QUORVEX_AARCH64_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${QUORVEX_AARCH64_DEPS}/lib/pkgconfig")
else()
  set(ENV{PKG_CONFIG_LIBDIR} "/nonexistent")
endif()
set(ENV{PKG_CONFIG_PATH} "")
