# zuv_precompile_gtest(<target>)
#
# GoogleTest's header is most of the time it takes to compile a test source: it is compiled
# once (precompiled header) instead of once per source. With GCC once per build: every test
# program reuses the header of zuv_gtest_pch, compiled with the same warnings (GCC checks that
# a precompiled header fits the compile that uses it, and parses the header itself when it
# does not). Clang refuses a header made with other definitions: one per test program there.
#
# Clang writes the times of the headers into a precompiled header and refuses it when a header
# is newer; without those times a precompiled header from the compiler cache
# (cmake/ZuvCompilerCache.cmake) fits a fresh checkout too.
function(zuv_precompile_gtest target)
  zuv_pch_without_times(${target})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND TARGET zuv_gtest_pch)
    target_precompile_headers(${target} REUSE_FROM zuv_gtest_pch)
  else()
    target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
  endif()
endfunction()

function(zuv_pch_without_times target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE "SHELL:-Xclang -fno-pch-timestamp")
  endif()
endfunction()

# zuv_gtest_pch_library(): the object library zuv_gtest_pch that holds the build's one
# precompiled GoogleTest header (GCC builds).
function(zuv_gtest_pch_library)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR TARGET zuv_gtest_pch)
    return()
  endif()
  set(source ${CMAKE_BINARY_DIR}/zuv_gtest_pch.cpp)
  if(NOT EXISTS ${source})
    file(WRITE ${source} "// The compile unit of the precompiled GoogleTest header; nothing else.\n")
  endif()
  add_library(zuv_gtest_pch OBJECT ${source})
  # zuv_base: the definitions every test program has (the Windows build's UNICODE, NOMINMAX...).
  target_link_libraries(zuv_gtest_pch PRIVATE zuv_base ${ZUV_GTEST_NO_MAIN})
  target_compile_options(zuv_gtest_pch PRIVATE ${ZUV_WARNINGS})
  target_precompile_headers(zuv_gtest_pch PRIVATE <gtest/gtest.h>)
endfunction()

# zuv_add_gtest(<name> <sources>... [LIBS <libraries>...] [NO_GTEST_MAIN] [TEST_PREFIX <text>]
#               [GTEST_FILTER <filter>] [PCH_FROM <target>])
#
# One GoogleTest executable and its tests. Natively the tests are discovered after the
# build, one CTest test per case. In the Windows build the executable runs as one CTest
# test through CMAKE_CROSSCOMPILING_EMULATOR (scripts/wine-run): discovering cases would
# mean starting Wine at build time.
#
# NO_GTEST_MAIN: the sources bring their own main().
# TEST_PREFIX: put before each discovered case's name, for executables that share cases.
# GTEST_FILTER: the cases of the executable to run (GoogleTest's filter syntax), for shared
# cases some of which do not apply to it.
# PCH_FROM: use the precompiled GoogleTest header of <target> (compiled with the same flags)
# instead of compiling another one.
function(zuv_add_gtest name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "NO_GTEST_MAIN" "TEST_PREFIX;GTEST_FILTER;PCH_FROM" "LIBS")
  set(filter "")
  if(ARG_GTEST_FILTER)
    set(filter "--gtest_filter=${ARG_GTEST_FILTER}")
  endif()
  if(NOT ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zuv_add_gtest(${name}): no sources")
  endif()
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_compile_options(${name} PRIVATE ${ZUV_WARNINGS})
  if(ARG_PCH_FROM AND NOT (CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND TARGET zuv_gtest_pch))
    zuv_pch_without_times(${name})
    target_precompile_headers(${name} REUSE_FROM ${ARG_PCH_FROM})
  else()
    zuv_precompile_gtest(${name})
  endif()
  if(ARG_NO_GTEST_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${ZUV_GTEST_NO_MAIN})
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${ZUV_GTEST})
  endif()
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no ${filter}
             WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>)
    set_tests_properties(${name} PROPERTIES LABELS "wine")
  else()
    gtest_discover_tests(${name}
      TEST_PREFIX "${ARG_TEST_PREFIX}"
      TEST_FILTER "${ARG_GTEST_FILTER}"
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>
      EXTRA_ARGS --gtest_color=no
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
