# SPDX-License-Identifier: GPL-3.0-or-later
# Build settings shared by every Sorvina target, carried by INTERFACE targets instead of
# global flag variables so that each target states what it uses.

add_library(sorvina_warnings INTERFACE)
target_compile_options(sorvina_warnings INTERFACE -Wall -Wextra -Wpedantic)
# The development builds stop at any warning, so that none creeps in; a user's build with
# another compiler does not.
if(SORVINA_WERROR)
  target_compile_options(sorvina_warnings INTERFACE -Werror)
endif()

# Fuzzing (clang only): our code carries libFuzzer's coverage hooks, and each fuzz target
# links libFuzzer itself through sorvina_fuzzer_engine. The fuzz preset builds the targets
# alone, optimised; the asan preset builds them beside the tests, for scripts/test to fuzz
# each briefly.
option(SORVINA_FUZZ "Build the fuzz targets with libFuzzer (clang), everything instrumented" OFF)

# libFuzzer finds faults through the sanitizers, so fuzzing brings them in too.
add_library(sorvina_sanitizers INTERFACE)
if(SORVINA_SANITIZE OR SORVINA_FUZZ)
  set(_sorvina_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  target_compile_options(sorvina_sanitizers INTERFACE ${_sorvina_sanitize_flags})
  target_link_options(sorvina_sanitizers INTERFACE ${_sorvina_sanitize_flags})
endif()

add_library(sorvina_fuzzing INTERFACE)
add_library(sorvina_fuzzer_engine INTERFACE)
if(SORVINA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "SORVINA_FUZZ needs clang (libFuzzer); use the asan or fuzz preset")
  endif()
  # The hooks alone: executables without libFuzzer (the tests) still link, as the
  # sanitizer runtime stands in for them.
  target_compile_options(sorvina_fuzzing INTERFACE -fsanitize=fuzzer-no-link)
  target_link_options(sorvina_fuzzer_engine INTERFACE -fsanitize=fuzzer)
endif()

# Applies the shared settings to one of our own targets.
function(sorvina_target_defaults target)
  target_link_libraries(${target} PRIVATE sorvina_warnings sorvina_sanitizers sorvina_fuzzing)
endfunction()

# Adds a GoogleTest executable and registers its tests with CTest.
function(sorvina_add_gtest target)
  add_executable(${target} ${ARGN})
  sorvina_target_defaults(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest_main GTest::gmock sorvina_test_support)
  # A hung test fails instead of stalling the whole run. What runs keep between them (the
  # key of their fingerprints, records of playlists) stays in the build tree.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120
    ENVIRONMENT "XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-state")
endfunction()

# Adds a QtTest executable (one test class) and registers it with CTest, run without a
# display.
function(sorvina_add_qtest target)
  add_executable(${target} ${ARGN})
  sorvina_target_defaults(${target})
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_link_libraries(${target} PRIVATE Qt6::Test sorvina_ui)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${target} COMMAND ${target})
  # Numbers are written the same whatever the machine's locale.
  set_tests_properties(${target} PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software;LC_ALL=C.UTF-8;XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-state")
endfunction()
