# GoogleTest for the Windows build, compiled once per machine instead of once per clone.
#
# Debian ships GoogleTest as sources (/usr/src/googletest); the Windows build needs it compiled
# with the -posix mingw-w64 compilers. Compiled and installed once into a cache outside the
# clone, keyed by the versions of the googletest and the mingw-w64 compiler packages:
#   ${ZUV_CACHE_DIR:-${XDG_CACHE_HOME:-~/.cache}/zuv}/googletest-<version>-mingw-<version>
#
#   cmake -DZUV_TOOLCHAIN=<mingw toolchain file> -P cmake/ZuvGTestCache.cmake
#       fills the cache when it is missing (scripts/packages, in the packages stage)
#   include(ZuvGTestCache) + zuv_gtest_cache_dir(<var>)
#       the cache folder for this machine's packages, or "" when they cannot be told
#       (tests/CMakeLists.txt uses the cache when it is there and compiles GoogleTest in the
#       tree when it is not)

function(zuv_gtest_cache_dir out)
  set(${out} "" PARENT_SCOPE)
  set(versions "")
  foreach(package googletest g++-mingw-w64-x86-64-posix)
    execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
                    OUTPUT_VARIABLE version RESULT_VARIABLE status ERROR_QUIET)
    if(NOT status EQUAL 0 OR version STREQUAL "")
      return()
    endif()
    string(REGEX REPLACE "[^A-Za-z0-9.]" "_" version "${version}")
    list(APPEND versions ${version})
  endforeach()
  list(GET versions 0 gtest_version)
  list(GET versions 1 compiler_version)
  if(DEFINED ENV{ZUV_CACHE_DIR})
    set(base "$ENV{ZUV_CACHE_DIR}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(base "$ENV{XDG_CACHE_HOME}/zuv")
  elseif(DEFINED ENV{HOME})
    set(base "$ENV{HOME}/.cache/zuv")
  else()
    return()
  endif()
  set(${out} "${base}/googletest-${gtest_version}-mingw-${compiler_version}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT ZUV_TOOLCHAIN)
    message(FATAL_ERROR "ZuvGTestCache.cmake: give -DZUV_TOOLCHAIN=<mingw-w64 toolchain file>")
  endif()
  zuv_gtest_cache_dir(cache)
  if(cache STREQUAL "")
    message(STATUS "GoogleTest cache: the package versions cannot be told; the Windows build compiles GoogleTest itself")
    return()
  endif()
  if(EXISTS "${cache}/lib/cmake/GTest/GTestConfig.cmake")
    message(STATUS "GoogleTest cache: ${cache}")
    return()
  endif()
  # Built and installed beside its final place, then renamed: a half-made cache is never seen.
  string(RANDOM LENGTH 8 tag)
  set(work "${cache}.building-${tag}")
  file(REMOVE_RECURSE "${work}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S /usr/src/googletest -B "${work}/build"
            --toolchain "${ZUV_TOOLCHAIN}" -DCMAKE_BUILD_TYPE=Release
            -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=OFF
            -DBUILD_SHARED_LIBS=OFF "-DCMAKE_INSTALL_PREFIX=${work}/install"
    OUTPUT_QUIET RESULT_VARIABLE status)
  if(status EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --build "${work}/build" -j2 OUTPUT_QUIET
                    RESULT_VARIABLE status)
  endif()
  if(status EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --install "${work}/build" OUTPUT_QUIET
                    RESULT_VARIABLE status)
  endif()
  if(NOT status EQUAL 0)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "GoogleTest cache: building GoogleTest for mingw-w64 failed")
  endif()
  file(RENAME "${work}/install" "${cache}" RESULT status)
  file(REMOVE_RECURSE "${work}")
  if(NOT status EQUAL 0 AND NOT EXISTS "${cache}/lib/cmake/GTest/GTestConfig.cmake")
    message(FATAL_ERROR "GoogleTest cache: cannot move it to ${cache}: ${status}")
  endif()
  message(STATUS "GoogleTest cache: made ${cache}")
endif()
