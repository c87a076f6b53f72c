# quorvex::gnustep: GNUstep's AppKit for the Cocoa editor layer on Linux, as
# gnustep-config describes it. Debian's GNUstep runs on GCC's Objective-C
# runtime, so the layer is compiled by GCC (gobjc++). Its headers count as
# system headers, or -Wextra would report their insides.
find_program(GNUSTEP_CONFIG gnustep-config REQUIRED)
execute_process(COMMAND ${GNUSTEP_CONFIG} --objc-flags OUTPUT_VARIABLE _gs_flags
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${GNUSTEP_CONFIG} --gui-libs OUTPUT_VARIABLE _gs_libs
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(_gs_flags UNIX_COMMAND "${_gs_flags}")
separate_arguments(_gs_libs UNIX_COMMAND "${_gs_libs}")

add_library(quorvex_gnustep INTERFACE)
add_library(quorvex::gnustep ALIAS quorvex_gnustep)
foreach(_f IN LISTS _gs_flags)
  if(_f MATCHES "^-I(.+)$")
    if(IS_DIRECTORY "${CMAKE_MATCH_1}" AND IS_ABSOLUTE "${CMAKE_MATCH_1}")
      target_include_directories(quorvex_gnustep SYSTEM INTERFACE "${CMAKE_MATCH_1}")
    endif()
  elseif(_f MATCHES "^-D(.+)$")
    target_compile_definitions(quorvex_gnustep INTERFACE "${CMAKE_MATCH_1}")
  elseif(_f MATCHES "^-f(objc-exceptions|constant-string-class=.*)$")
    # String literals are NSConstantString objects, @try works.
    target_compile_options(quorvex_gnustep INTERFACE "$<$<COMPILE_LANGUAGE:OBJCXX>:${_f}>")
  endif()
endforeach()
foreach(_f IN LISTS _gs_libs)
  if(_f MATCHES "^-l" OR _f STREQUAL "-pthread")
    target_link_libraries(quorvex_gnustep INTERFACE "${_f}")
  elseif(_f MATCHES "^-L(.+)$" AND IS_DIRECTORY "${CMAKE_MATCH_1}")
    target_link_directories(quorvex_gnustep INTERFACE "${CMAKE_MATCH_1}")
  endif()
endforeach()
