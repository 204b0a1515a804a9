# Compiler settings shared by every target, and helpers for libraries, tests and benchmarks.

add_library(corvid_options INTERFACE)
target_compile_options(corvid_options INTERFACE -Wall -Wextra -Wpedantic -Werror -Wshadow
                                                -Wnon-virtual-dtor -Wcast-qual -Wformat=2)
target_include_directories(corvid_options INTERFACE ${CMAKE_SOURCE_DIR}/src)
if(WIN32)
  # Windows 7 API level; Unicode Win32 API; no min/max macros.
  target_compile_definitions(corvid_options INTERFACE _WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE
                                                      _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
  target_link_options(corvid_options INTERFACE -static)
endif()
if(CORVID_SANITIZE)
  target_compile_options(corvid_options INTERFACE -fsanitize=address,undefined
                                                  -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(corvid_options INTERFACE -fsanitize=address,undefined)
endif()

# corvid_library(NAME SOURCES... [DEPS libs...])
function(corvid_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC corvid_options ${ARG_DEPS})
endfunction()

# corvid_test(NAME SOURCES... [DEPS libs...] [SERIAL]): a GoogleTest executable. Natively each
# test case is registered with CTest; under Wine the executable is one CTest test (one Wine
# start instead of one per case).
function(corvid_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(ARG "SERIAL" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE corvid_options ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
    if(ARG_SERIAL)
      set_tests_properties(${name} PROPERTIES RUN_SERIAL ON)
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
  endif()
endfunction()

# corvid_benchmark(NAME SOURCES... [DEPS libs...]): a Google Benchmark program, run on demand.
function(corvid_benchmark name)
  if(NOT CORVID_BENCHMARKS OR WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE corvid_options ${ARG_DEPS} benchmark::benchmark_main)
endfunction()
