# Darwin stand-in cross build on Debian (tools/scripts/build-macos-standin.sh):
# clang for both slices, ld64.lld, and a stand-in SDK in QUORVEX_MACOS_SDK
# (hand-written .tbd stubs and declaration headers from
# tools/macos-standin/sdk, musl's C headers). It checks that the Apple
# branch compiles and links into a well-formed bundle; musl's records are
# not Apple's, so what it makes must never be shipped or loaded.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 17.0)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
get_filename_component(_standin_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

if(NOT QUORVEX_MACOS_SDK)
  message(FATAL_ERROR "QUORVEX_MACOS_SDK: the stand-in SDK folder the script assembles")
endif()
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET x86_64-apple-darwin)
set(CMAKE_CXX_COMPILER_TARGET x86_64-apple-darwin)
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "")
# Apple's ranlib makes universal archives; ld64.lld needs them.
set(CMAKE_RANLIB ${_standin_root}/tools/macos-standin/ranlib-universal.sh CACHE FILEPATH "")
set(CMAKE_OSX_SYSROOT ${QUORVEX_MACOS_SDK})
set(CMAKE_OSX_ARCHITECTURES "x86_64;arm64" CACHE STRING "")
set(CMAKE_OSX_DEPLOYMENT_TARGET "10.13" CACHE STRING "")
# The stand-in SDK has no AppKit: the editor stays on the headless layer.
set(QUORVEX_NO_APPKIT ON CACHE BOOL "")

# -B: the driver finds lipo (llvm-lipo) there to join the slices. Apple's
# headers declare POSIX and BSD calls by default; musl's, under strict
# standard modes, only when asked. darwin-names.h gives errno and stderr
# Apple's symbol names.
set(_standin_flags "-B${QUORVEX_MACOS_SDK}/usr/bin -D_BSD_SOURCE -D_XOPEN_SOURCE=700")
string(APPEND _standin_flags " -include ${_standin_root}/tools/macos-standin/darwin-names.h")
set(CMAKE_C_FLAGS_INIT "${_standin_flags}")
set(CMAKE_CXX_FLAGS_INIT "${_standin_flags} -stdlib=libc++")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "${_standin_flags} -stdlib=libc++ -fuse-ld=lld")
endforeach()

# libpng and zlib built for both slices (build-macos-deps/prefix).
set(CMAKE_FIND_ROOT_PATH ${QUORVEX_MACOS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEX_MACOS_SDK QUORVEX_MACOS_DEPS)
set(ENV{PKG_CONFIG_LIBDIR} "/nonexistent")
set(ENV{PKG_CONFIG_PATH} "")
