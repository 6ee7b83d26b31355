# The compiler cache of every preset. CMakePresets.json names this file in
# CMAKE_PROJECT_TOP_LEVEL_INCLUDES, so the first project() call reads it after the toolchain
# file and before the compilers are enabled.
#
# With ccache installed (scripts/packages), C and C++ compile through it, into the machine's
# cache beside the GoogleTest cache (cmake/ZuvGTestCache.cmake):
#   ${ZUV_CACHE_DIR:-${XDG_CACHE_HOME:-~/.cache}/zuv}/ccache
# The settings travel with each compile (the launcher sets them), so a build uses the same
# cache and settings from a shell, an IDE or scripts/test:
#   sloppiness pch_defines,time_macros  needed for the precompiled GoogleTest header
#                                       (cmake/ZuvTesting.cmake); nothing here uses __DATE__
#                                       or __TIME__
#   base_dir, no hash_dir               native builds only: the paths of the clone are made
#                                       relative, so another clone of the same sources (CI's
#                                       fresh clone) reuses the objects. Their debug
#                                       information may then name the folder of the clone that
#                                       compiled them first.
# The Windows builds keep absolute paths (no base_dir): their objects are shared only between
# builds in the same folder. The program is made reproducible by mapping the absolute source
# and build folders (CMakeLists.txt); ccache's relative paths would escape that mapping and
# change __FILE__ and the debug information, so a cached and an uncached build would differ.
#
#   -DZUV_COMPILER_CACHE=OFF   configure without it (a launcher of your own then applies)
#   CCACHE_DISABLE=1           in the environment of a build: every object compiled, the cache
#                              neither read nor written (tests/release/release_test.sh builds
#                              the second release this way)
option(ZUV_COMPILER_CACHE "Compile through ccache when it is installed" ON)

function(zuv_compiler_cache_launcher out)
  set(${out} "" PARENT_SCOPE)
  find_program(ZUV_CCACHE ccache)
  find_program(ZUV_ENV env)
  if(NOT ZUV_CCACHE OR NOT ZUV_ENV)
    message(STATUS "Compiler cache: none (ccache is not installed)")
    return()
  endif()
  if(NOT "$ENV{ZUV_CACHE_DIR}" STREQUAL "")
    set(base "$ENV{ZUV_CACHE_DIR}")
  elseif(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(base "$ENV{XDG_CACHE_HOME}/zuv")
  elseif(NOT "$ENV{HOME}" STREQUAL "")
    set(base "$ENV{HOME}/.cache/zuv")
  else()
    message(STATUS "Compiler cache: none (no HOME to keep it in)")
    return()
  endif()
  set(launcher ${ZUV_ENV} "CCACHE_DIR=${base}/ccache"
      "CCACHE_SLOPPINESS=pch_defines,time_macros")
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
    list(APPEND launcher "CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}" "CCACHE_NOHASHDIR=1")
  endif()
  list(APPEND launcher ${ZUV_CCACHE})
  message(STATUS "Compiler cache: ${base}/ccache")
  set(${out} "${launcher}" PARENT_SCOPE)
endfunction()

if(ZUV_COMPILER_CACHE)
  zuv_compiler_cache_launcher(zuv_launcher)
  if(zuv_launcher)
    set(CMAKE_C_COMPILER_LAUNCHER "${zuv_launcher}")
    set(CMAKE_CXX_COMPILER_LAUNCHER "${zuv_launcher}")
  endif()
  unset(zuv_launcher)
endif()
