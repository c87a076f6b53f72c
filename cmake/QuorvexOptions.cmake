# Compiler settings shared by every target of the project.
add_library(quorvex_options INTERFACE)
add_library(quorvex::options ALIAS quorvex_options)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # No fused multiply-add anywhere: where the processor has it (arm64), the
  # tests' signal models must round as the engine does.
  target_compile_options(quorvex_options INTERFACE -Wall -Wextra -ffp-contract=off)
  if(QUORVEX_WERROR)
    target_compile_options(quorvex_options INTERFACE -Werror)
  endif()
  if(QUORVEX_FUZZ)
    target_compile_options(quorvex_options INTERFACE
      -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(quorvex_options INTERFACE -fsanitize=address,undefined)
  elseif(QUORVEX_TSAN)
    target_compile_options(quorvex_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(quorvex_options INTERFACE -fsanitize=thread)
  elseif(QUORVEX_SANITIZE)
    target_compile_options(quorvex_options INTERFACE
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(quorvex_options INTERFACE -fsanitize=address,undefined)
  endif()
endif()

# Adds a GoogleTest executable, linked with the test-support library
# (tests/support), and registers its cases with CTest.
function(quorvex_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quorvex_test_support GTest::gtest GTest::gtest_main
    quorvex::options)
  if(CMAKE_CROSSCOMPILING)
    # One entry per program: each start under the emulator costs time.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
