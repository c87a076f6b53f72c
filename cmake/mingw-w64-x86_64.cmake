# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread
# model: std::mutex and std::thread need it). Everything is linked
# statically, so the plug-in and the test programs import system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVEX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORVEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEX_MINGW_TRIPLET}-windres)

# Libraries built for this target (libpng, GoogleTest) live in
# QUORVEX_WINDOWS_DEPS; zlib comes from Debian's mingw-w64 package.
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEX_MINGW_TRIPLET} ${QUORVEX_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives only: a DLL import library would bring a DLL along.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine, with a prefix inside the build folder.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  get_filename_component(_quorvex_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_quorvex_root}/tools/scripts/wine-run.sh ${CMAKE_BINARY_DIR}/wine)
endif()

# pkg-config must not offer the build machine's libraries. try_compile
# re-reads this file in the same process, so it needs the folder too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEX_WINDOWS_DEPS)
if(QUORVEX_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${QUORVEX_WINDOWS_DEPS}/lib/pkgconfig")
else()
  set(ENV{PKG_CONFIG_LIBDIR} "/nonexistent")
endif()
set(ENV{PKG_CONFIG_PATH} "")
