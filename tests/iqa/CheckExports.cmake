# Fails unless the executable exports the five numeric routines by name.
# Usage: cmake -DEXE=<executable> -DNM=<nm> -P CheckExports.cmake
execute_process(COMMAND "${NM}" -D --defined-only "${EXE}" OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${EXE}")
endif()
foreach(name _round _max _min _cmp_float _matrix_cmp)
  if(NOT symbols MATCHES "[0-9a-fA-F]+ T ${name}\n")
    message(FATAL_ERROR "${EXE} does not export ${name}")
  endif()
  message(STATUS "exported: ${name}")
endforeach()
