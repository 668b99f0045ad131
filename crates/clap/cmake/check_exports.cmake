# cmake -DNM=<nm> -DMODULE=<file> -P check_exports.cmake
# Fails unless the module's only defined dynamic symbol is clap_entry.
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${MODULE}: ${errors}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* ([^ ]+)$" "\\1" name "${line}")
  list(APPEND names "${name}")
endforeach()
if(NOT names STREQUAL "clap_entry")
  message(FATAL_ERROR "${MODULE} exports [${names}], expected only clap_entry")
endif()
message(STATUS "${MODULE} exports only clap_entry")
