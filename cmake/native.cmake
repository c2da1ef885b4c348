# Native (Linux) tree: the core's unit tests, or with VERLISK_FUZZ (clang) the fuzz target.
option(VERLISK_FUZZ "Build the libFuzzer target instead of the unit tests" OFF)

if(VERLISK_FUZZ)
  target_compile_options(verlisk_core PRIVATE -fsanitize=fuzzer-no-link)
  add_executable(fuzz_reply_walk tests/fuzz/reply_walk_fuzz.cpp
                 standin/aircraft.cpp)
  target_link_libraries(fuzz_reply_walk PRIVATE verlisk_core)
  target_include_directories(fuzz_reply_walk PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests/native)
  target_compile_options(fuzz_reply_walk PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_reply_walk PRIVATE -fsanitize=fuzzer)
  # Bounded in time; the corpus grows in the build tree between runs.
  set(corpus ${CMAKE_BINARY_DIR}/corpus/reply_walk)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME fuzz_reply_walk
           COMMAND fuzz_reply_walk -max_total_time=30 -print_final_stats=1 ${corpus})
  return()
endif()

add_subdirectory(receiver)
# The tests and the benchmarks: the receiver's package needs neither, nor GoogleTest.
if(NOT VERLISK_TESTS)
  return()
endif()

find_package(GTest REQUIRED)
add_executable(verlisk_native_tests
  tests/native/text_test.cpp
  tests/native/config_test.cpp
  tests/native/form_load_test.cpp
  tests/native/fsuipc_test.cpp
  tests/native/connection_check_test.cpp
  tests/native/monitor_test.cpp
  tests/native/session_test.cpp
 
  standin/aircraft.cpp
)
target_link_libraries(verlisk_native_tests PRIVATE verlisk_core GTest::gtest_main)
target_include_directories(verlisk_native_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests/native)
add_test(NAME native_unit_tests COMMAND verlisk_native_tests)

add_subdirectory(tests/receiver)
add_subdirectory(bench/receiver)

# Builds the receiver's package in a tree of its own (build/receiver-package).
add_test(NAME e2e_receiver_package
         COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/receiver-package ${PROJECT_VERSION})
set_tests_properties(e2e_receiver_package PROPERTIES TIMEOUT 900)
