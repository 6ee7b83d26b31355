# zuv_precompile_gtest(<target>)
#
# GoogleTest's header is most of the time it takes to compile a test source: it is compiled
# once per test program (precompiled header) instead of once per source.
function(zuv_precompile_gtest target)
  target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
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
  if(ARG_PCH_FROM)
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
