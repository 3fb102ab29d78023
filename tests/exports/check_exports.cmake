# cmake -DLIB=<library> -DNM=<nm> -P check_exports.cmake
# Fails unless the library defines exactly the expected dynamic symbols.
cmake_minimum_required(VERSION 3.25)
set(expected CreateDeviceCtrl DestroyDeviceCtrl GetInterfaceVersion Holn_GetTickCount Holn_Sleep)

execute_process(COMMAND ${NM} -D --defined-only ${LIB}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIB}: ${err}")
endif()

set(found "")
set(notcode "")
string(REGEX MATCHALL "[^\n]+" lines "${out}")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) (.+)$")
    list(APPEND found "${CMAKE_MATCH_2}")
    if(NOT CMAKE_MATCH_1 STREQUAL "T")
      list(APPEND notcode "${CMAKE_MATCH_2} (${CMAKE_MATCH_1})")
    endif()
  endif()
endforeach()

set(extra ${found})
list(REMOVE_ITEM extra ${expected})
set(missing ${expected})
if(found)
  list(REMOVE_ITEM missing ${found})
endif()
if(extra OR missing OR notcode)
  list(JOIN extra "\n  " extra)
  message(FATAL_ERROR "${LIB} exports the wrong symbols.\nmissing: ${missing}\n"
                      "not functions: ${notcode}\nunexpected:\n  ${extra}")
endif()
message(STATUS "exports of ${LIB}: ${found}")
