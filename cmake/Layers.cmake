# Fails when a source file includes a header of a folder its own folder may
# not use. Run by the build: cmake -DSOURCE_DIR=... -DSTAMP=... -P Layers.cmake
cmake_minimum_required(VERSION 3.25)
#
# The arrows: the engine uses nothing of ours; the recognisers, saving,
# scan-info files, drive discovery and the application's shared pieces use the
# engine (putting split photos together too); the command-line tool and the desktop application use everything
# below them, and never each other. Device access through the system's disk
# service stands alone; the shared words and both programs use it.
set(allowed_engine engine)
set(allowed_recognisers engine recognisers)
set(allowed_reassembly engine reassembly)
set(allowed_recovery engine recovery)
set(allowed_scaninfo engine scaninfo)
set(allowed_drives engine drives)
set(allowed_app engine access app)
set(allowed_access access)
set(allowed_cli engine recognisers reassembly recovery scaninfo drives access app cli)
set(allowed_ui engine recognisers reassembly recovery scaninfo drives access app ui)

set(faults "")
foreach(layer engine recognisers reassembly recovery scaninfo drives access app cli ui)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"[a-z]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" used "${line}")
      if(NOT used IN_LIST allowed_${layer})
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
        string(APPEND faults "  ${shown}: ${line} (${layer}/ may not use ${used}/)\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Includes against the layers:\n${faults}")
endif()
file(TOUCH ${STAMP})
