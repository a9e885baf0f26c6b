# Build options shared by every room.
#
#   MVCOMM_SANITIZE  "" (plain), "address;undefined" (the CI sanitizer build), "thread"
#   MVCOMM_FUZZ      ON builds only the libFuzzer targets (needs clang)
#   MVCOMM_TESTS     ON builds tests/ (GoogleTest, run by ctest)
#   MVCOMM_BENCH     ON builds bench/ (Google Benchmark)
set(MVCOMM_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address;undefined")
option(MVCOMM_FUZZ "Build the libFuzzer targets only (clang)" OFF)
option(MVCOMM_TESTS "Build the test suite" ON)
option(MVCOMM_BENCH "Build the benchmarks" ON)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

add_compile_options(-Wall -Wextra)
if(MVCOMM_WERROR)
  add_compile_options(-Werror)
endif()

if(MVCOMM_SANITIZE)
  list(JOIN MVCOMM_SANITIZE "," _mv_san)
  add_compile_options(-fsanitize=${_mv_san} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${_mv_san})
  if("undefined" IN_LIST MVCOMM_SANITIZE)
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

if(MVCOMM_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MVCOMM_FUZZ needs clang (CXX=clang++ CC=clang)")
  endif()
  # Libraries get coverage instrumentation; only the fuzz targets link the driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
