# cmake -DROOT=<source root> -DLAYER=<folder> -DALLOWED=<folder>,... -DFILES=<file>,...
#       -P CheckIncludes.cmake
#
# Fails when a file of the layer in <folder> includes a project header from a folder not in
# ALLOWED (its own folder and those of the layers below it). Quoted includes name headers from
# the project root ("registry/mdlReg.h"); a bare name ("resource.h") is a header of the file's
# own folder. Angle-bracket includes are system and library headers and are not checked.
cmake_policy(VERSION 3.25)
string(REPLACE "," ";" allowed "${ALLOWED}")
string(REPLACE "," ";" files "${FILES}")
set(problems "")
foreach(file IN LISTS files)
  file(RELATIVE_PATH shown ${ROOT} ${file})
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" header "${line}")
    get_filename_component(folder "${header}" DIRECTORY)
    if(header MATCHES "(^|/)\\.\\.(/|$)")
      list(APPEND problems "${shown} includes \"${header}\": name headers from the project root")
    elseif(NOT folder STREQUAL "" AND NOT folder IN_LIST allowed)
      list(APPEND problems "${shown} includes \"${header}\"")
    endif()
  endforeach()
endforeach()
if(problems)
  list(JOIN problems "\n  " text)
  list(JOIN allowed "/, " may)
  message(FATAL_ERROR "include pointing up or sideways out of the layer ${LAYER}/ "
                      "(its files may include headers of ${may}/ only):\n  ${text}")
endif()
