# Build settings shared by every Sorvina target, carried by INTERFACE targets instead of
# global flag variables so that each target states what it uses.

add_library(sorvina_warnings INTERFACE)
target_compile_options(sorvina_warnings INTERFACE -Wall -Wextra -Wpedantic)

add_library(sorvina_sanitizers INTERFACE)
if(SORVINA_SANITIZE)
  set(_sorvina_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  target_compile_options(sorvina_sanitizers INTERFACE ${_sorvina_sanitize_flags})
  target_link_options(sorvina_sanitizers INTERFACE ${_sorvina_sanitize_flags})
endif()

# Applies the shared settings to one of our own targets.
function(sorvina_target_defaults target)
  target_link_libraries(${target} PRIVATE sorvina_warnings sorvina_sanitizers)
endfunction()

# Adds a GoogleTest executable and registers its tests with CTest.
function(sorvina_add_gtest target)
  add_executable(${target} ${ARGN})
  sorvina_target_defaults(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest_main GTest::gmock sorvina_test_support)
  # A hung test fails instead of stalling the whole run.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
endfunction()
