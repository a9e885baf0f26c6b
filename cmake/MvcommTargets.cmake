# Helpers that every room uses to declare its targets the same way.
#
#   mvcomm_library(NAME [SHARED] SOURCES ... [DEPS ...])
#   mvcomm_test(NAME [REAL_TIME] SOURCES ... [DEPS ...] [LABELS label])
#                                                   GoogleTest, registered with ctest; REAL_TIME
#                                                   tests (pseudo-terminals, wall-clock waits) run
#                                                   alone, so a parallel ctest cannot starve them
#   mvcomm_bench(NAME SOURCES ... [DEPS ...])               Google Benchmark
#   mvcomm_fuzzer(NAME SOURCES ... [DEPS ...])              libFuzzer; corpus in fuzz/corpus/NAME
#
# Includes read "terminal/n_cst_mvcomm.h", "platform/serial/serial_port.h" and
# so on. A library sees its own room and the rooms it links (MvcommViews.cmake);
# tests, benchmarks and fuzz targets see the whole tree.

function(mvcomm_library name)
  cmake_parse_arguments(ARG "SHARED" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_SHARED)
    add_library(${name} SHARED ${ARG_SOURCES})
  else()
    add_library(${name} STATIC ${ARG_SOURCES})
  endif()
  set_property(GLOBAL APPEND PROPERTY MVCOMM_LIBRARIES ${name})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

function(mvcomm_test name)
  cmake_parse_arguments(ARG "REAL_TIME" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest GTest::gtest_main)
  include(GoogleTest)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # An empty LABELS value would vanish from the property list and shift the
  # pairs after it, so properties are only listed when they have a value.
  # gtest_discover_tests keeps one value per property: one label per test.
  set(_props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_REAL_TIME)
    list(APPEND _props RUN_SERIAL TRUE)
  endif()
  if(ARG_LABELS)
    list(GET ARG_LABELS 0 _label)
    list(APPEND _props LABELS ${_label})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${_props})
endfunction()

function(mvcomm_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  set_property(GLOBAL APPEND PROPERTY MVCOMM_BENCHES ${name})
endfunction()

function(mvcomm_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  add_dependencies(fuzzers ${name})
endfunction()
