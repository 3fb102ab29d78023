# cmake -DLIB=<library> -DREADELF=<readelf> -P check_interposable.cmake
# The library must call Holn_GetTickCount and Holn_Sleep through a dynamic
# relocation (PLT or GOT). A call bound inside the library at link time
# would always reach the fallback, and the runtime's clock would be ignored.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${READELF} -rW ${LIB} OUTPUT_VARIABLE relocs ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${READELF} -r failed on ${LIB}: ${err}")
endif()
execute_process(COMMAND ${READELF} -dW ${LIB} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(dynamic MATCHES "SYMBOLIC")
  message(FATAL_ERROR "${LIB} is linked -Bsymbolic: its own definitions would shadow the runtime's")
endif()
foreach(fn Holn_GetTickCount Holn_Sleep)
  if(NOT relocs MATCHES "(JUMP_SLOT|GLOB_DAT)[ \t]+[0-9a-fA-F]+[ \t]+${fn}([ \t@]|\n|$)")
    message(FATAL_ERROR "${LIB} has no JUMP_SLOT/GLOB_DAT relocation for ${fn}: "
                        "its calls are bound locally or it never calls it")
  endif()
endforeach()
message(STATUS "${LIB}: Holn_GetTickCount and Holn_Sleep are called through dynamic relocations")
