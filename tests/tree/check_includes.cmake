# Checks that the layers depend one way, by the project headers each file
# includes (#include "folder/Name.h"):
#   app/       -> anything below
#   sequencer/ -> itself, keys/
#   services/  -> itself, keys/, files/
#   sound/     -> itself, audio/, keys/, files/
#   audio/     -> itself
#   keys/      -> itself; and no Qt, no SDL
#   files/     -> itself; and no Qt, no SDL
# Usage: cmake -DSOURCE_DIR=<top of the tree> -P check_includes.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed_keys keys)
set(allowed_files files)
set(allowed_audio audio)
set(allowed_sound sound audio keys files)
set(allowed_sequencer sequencer keys)
set(allowed_services services keys files)

set(faults "")
foreach(layer files keys audio sound sequencer services)
  file(GLOB files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  if(NOT files)
    string(APPEND faults "\n  ${layer}/: no sources found")
  endif()
  foreach(file IN LISTS files)
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]*)\"")
        set(header ${CMAKE_MATCH_1})
        if(NOT header MATCHES "^([A-Za-z_]+)/[^/]+$")
          string(APPEND faults "\n  ${name}: \"${header}\" is not included by its folder")
        elseif(NOT CMAKE_MATCH_1 IN_LIST allowed_${layer})
          string(APPEND faults "\n  ${name}: includes \"${header}\" across the layers")
        endif()
      elseif((layer STREQUAL "keys" OR layer STREQUAL "files") AND line MATCHES "<(Q[A-Za-z]*|SDL[A-Za-z_0-9]*)(\\.h)?>")
        string(APPEND faults "\n  ${name}: the key rules and the writer use no Qt and no SDL: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that cross the layers:${faults}")
endif()
message(STATUS "The layers include one way.")
