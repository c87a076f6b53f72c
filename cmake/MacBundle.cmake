# Turns a MODULE target into a macOS VST 2 bundle, NAME.vst:
#   Contents/Info.plist        from a template of our own (see below)
#   Contents/PkgInfo           package type BNDL and the signature
#   Contents/MacOS/NAME        an MH_BUNDLE exporting only the listed symbols
#   Contents/Resources/...     the resource files, flat
# signed ad hoc after every link when built on a Mac.
#
# The template's @QUORVEX_...@ fields: BUNDLE_EXECUTABLE, BUNDLE_IDENT,
# BUNDLE_SIGNATURE, BUNDLE_VERSION (the vendor version, read from the
# IPLUG_VERSION(major, minor, patch) line of VERSION_SOURCE) and each slice's
# oldest macOS, MIN_MACOS_X86_64 and MIN_MACOS_ARM64.
function(quorvex_make_vst_bundle target)
  cmake_parse_arguments(ARG "" "IDENT;SIGNATURE;VERSION_SOURCE;INFO_PLIST;EXPORTS" "RESOURCES" ${ARGN})

  file(STRINGS ${ARG_VERSION_SOURCE} _version_line REGEX "IPLUG_VERSION\\([0-9]+, *[0-9]+, *[0-9]+\\)")
  if(NOT _version_line MATCHES "IPLUG_VERSION\\(([0-9]+), *([0-9]+), *([0-9]+)\\)")
    message(FATAL_ERROR "No vendor version (IPLUG_VERSION) in ${ARG_VERSION_SOURCE}")
  endif()
  set(QUORVEX_BUNDLE_VERSION "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
  set(QUORVEX_BUNDLE_EXECUTABLE ${target})
  set(QUORVEX_BUNDLE_IDENT ${ARG_IDENT})
  set(QUORVEX_BUNDLE_SIGNATURE ${ARG_SIGNATURE})

  # Each slice's deployment target, as the compiler sets it: arm64 never
  # below 11.0.
  set(QUORVEX_MIN_MACOS_X86_64 ${CMAKE_OSX_DEPLOYMENT_TARGET})
  set(QUORVEX_MIN_MACOS_ARM64 ${CMAKE_OSX_DEPLOYMENT_TARGET})
  if(NOT CMAKE_OSX_DEPLOYMENT_TARGET OR CMAKE_OSX_DEPLOYMENT_TARGET VERSION_LESS 11.0)
    set(QUORVEX_MIN_MACOS_ARM64 11.0)
  endif()
  if(NOT QUORVEX_MIN_MACOS_X86_64)
    message(FATAL_ERROR "Set CMAKE_OSX_DEPLOYMENT_TARGET for the bundle's Info.plist")
  endif()

  # Configured here so that nothing is left for CMake's own pass over it.
  set(_plist ${CMAKE_CURRENT_BINARY_DIR}/${target}-Info.plist)
  configure_file(${ARG_INFO_PLIST} ${_plist} @ONLY)
  set(_pkginfo ${CMAKE_CURRENT_BINARY_DIR}/${target}-PkgInfo/PkgInfo)
  file(CONFIGURE OUTPUT ${_pkginfo} CONTENT "BNDL${ARG_SIGNATURE}" @ONLY)

  target_sources(${target} PRIVATE ${_pkginfo} ${ARG_RESOURCES})
  set_source_files_properties(${_pkginfo} PROPERTIES MACOSX_PACKAGE_LOCATION .)
  set_source_files_properties(${ARG_RESOURCES} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)

  set_target_properties(${target} PROPERTIES
    BUNDLE ON
    BUNDLE_EXTENSION vst
    MACOSX_BUNDLE_INFO_PLIST ${_plist})
  target_link_options(${target} PRIVATE "LINKER:-exported_symbols_list,${ARG_EXPORTS}" "LINKER:-dead_strip")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ARG_EXPORTS})

  # Hosts on Apple silicon load only signed code; an ad-hoc signature is
  # enough for a bundle built on that Mac.
  if(CMAKE_HOST_APPLE)
    find_program(QUORVEX_CODESIGN codesign REQUIRED)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${QUORVEX_CODESIGN} --force --sign - --timestamp=none $<TARGET_BUNDLE_DIR:${target}>
      VERBATIM)
  endif()

  install(TARGETS ${target} LIBRARY DESTINATION .)
endfunction()
