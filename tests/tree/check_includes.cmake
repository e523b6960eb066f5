# Checks that the layers depend one way, by the project headers each file
# includes (#include "folder/Name.h"):
#   app/       -> anything below; the sample bank itself (sound/SoundBank.h)
#                 only in main.cpp, which makes it: the window knows a sink
#   sequencer/ -> itself, keys/
#   services/  -> itself, keys/, files/
#   sound/     -> itself, audio/ (the engine), audio/core/, audio/inputs/,
#                 keys/, files/
#   audio/     -> itself and its folders: the engine above them
#   audio/outputs/ -> itself, audio/servers/, audio/core/
#   audio/inputs/  -> itself, audio/servers/, audio/core/: never an output
#   audio/servers/ -> itself, audio/core/
#   audio/core/    -> itself
#   keys/      -> itself; and no Qt, no SDL
#   files/     -> itself; and no Qt, no SDL
# and that no two units of one folder (Name.h with Name.cpp) include each
# other.
# Usage: cmake -DSOURCE_DIR=<top of the tree> -P check_includes.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed_app app sequencer services sound audio audio/core audio/servers audio/outputs audio/inputs keys files)
set(allowed_keys keys)
set(allowed_files files)
set(allowed_audio audio audio/core audio/servers audio/outputs audio/inputs)
set(allowed_audio/outputs audio/outputs audio/servers audio/core)
set(allowed_audio/inputs audio/inputs audio/servers audio/core)
set(allowed_audio/servers audio/servers audio/core)
set(allowed_audio/core audio/core)
set(allowed_sound sound audio audio/core audio/inputs keys files)
set(allowed_sequencer sequencer sound keys)
set(allowed_services services keys files)

set(faults "")
set(edges "")
foreach(layer files keys audio/core audio/servers audio/outputs audio/inputs audio sound sequencer services app)
  file(GLOB files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  if(NOT files)
    string(APPEND faults "\n  ${layer}/: no sources found")
  endif()
  foreach(file IN LISTS files)
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    get_filename_component(unit ${file} NAME_WE)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]*)\"")
        set(header ${CMAKE_MATCH_1})
        if(NOT header MATCHES "^([A-Za-z_]+(/[a-z]+)?)/[^/]+$")
          string(APPEND faults "\n  ${name}: \"${header}\" is not included by its folder")
        elseif(NOT CMAKE_MATCH_1 IN_LIST allowed_${layer})
          string(APPEND faults "\n  ${name}: includes \"${header}\" across the layers")
        elseif(header STREQUAL "sound/SoundBank.h" AND layer STREQUAL "app" AND NOT name STREQUAL "app/main.cpp")
          string(APPEND faults "\n  ${name}: the window is given a sound sink; only main.cpp makes the bank")
        elseif(CMAKE_MATCH_1 STREQUAL layer)
          get_filename_component(other ${header} NAME_WE)
          if(NOT other STREQUAL unit)
            list(APPEND edges "${layer}/${unit}>${layer}/${other}")
          endif()
        endif()
      elseif((layer STREQUAL "keys" OR layer STREQUAL "files") AND line MATCHES "<(Q[A-Za-z]*|SDL[A-Za-z_0-9]*)(\\.h)?>")
        string(APPEND faults "\n  ${name}: the key rules and the writer use no Qt and no SDL: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

list(REMOVE_DUPLICATES edges)
foreach(edge IN LISTS edges)
  string(REPLACE ">" ";" ends ${edge})
  list(GET ends 0 from)
  list(GET ends 1 to)
  if("${to}>${from}" IN_LIST edges AND from STRLESS to)
    string(APPEND faults "\n  ${from} and ${to} include each other")
  endif()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that cross the layers:${faults}")
endif()
message(STATUS "The layers include one way.")
