# zuv_layer(<target> [WIN32_SOURCES <files>...] [OTHER_SOURCES <files>...] [BELOW <layers>...]
#           [SOURCES] <files>...)
#
# One layer of the program: a static library built from the files of the current source
# folder, linking the layers named in BELOW (their targets). WIN32_SOURCES are compiled only in
# the Windows build, OTHER_SOURCES only elsewhere.
#
# Every build checks the layer's include lines (cmake/CheckIncludes.cmake): a file may include
# headers of its own folder and of the folders of the layers below, nothing else, so an include
# that points up fails the build. Include paths are written from the project root
# ("registry/mdlReg.h").
#
# A layer may stand beside the program's own instead of on top of them: package/ (zuv_package,
# the machine package's checks and its custom actions DLL) lies on browser_config alone, so it
# reaches the address rule and the registry layer but never the apply, the window or the
# program.
function(zuv_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;WIN32_SOURCES;OTHER_SOURCES;BELOW")
  set(sources ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  if(WIN32)
    list(APPEND sources ${ARG_WIN32_SOURCES})
  else()
    list(APPEND sources ${ARG_OTHER_SOURCES})
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${ZUV_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_BELOW})
  zuv_check_includes(${target} ${ARG_BELOW})
endfunction()

# zuv_check_includes(<target> <layers below>...)
#
# Adds the include check of the current source folder to <target>'s build. The folders a file
# may include from are its own and those of the given layer targets (and of their layers below).
function(zuv_check_includes target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(allowed ${folder})
  foreach(layer IN LISTS ARGN)
    get_target_property(below ${layer} ZUV_ALLOWED_FOLDERS)
    list(APPEND allowed ${below})
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  set_target_properties(${target} PROPERTIES ZUV_ALLOWED_FOLDERS "${allowed}")

  file(GLOB files CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.rc)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.includes-checked)
  string(REPLACE ";" "," allowed_list "${allowed}")
  string(REPLACE ";" "," file_list "${files}")
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -DLAYER=${folder}
            -DALLOWED=${allowed_list} -DFILES=${file_list}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMENT "Checking the include lines of ${folder}/"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
