# Runs tsp-host with a script on a fresh copy of a registry file and compares its standard
# output with the expected transcript.
# cmake -DHOST= -DPROVIDER= -DSCRIPT= -DEXPECTED= -DREGISTRY= -DWORK_DIR= -P run_tsp_host.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
configure_file("${REGISTRY}" "${WORK_DIR}/registry.reg" COPYONLY)
execute_process(COMMAND "${HOST}" --provider "${PROVIDER}" --registry "${WORK_DIR}/registry.reg"
                        --script "${SCRIPT}" --wait 5000
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(WRITE "${WORK_DIR}/actual.txt" "${out}")
file(READ "${EXPECTED}" expected)
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "tsp-host output differs from ${EXPECTED} (see ${WORK_DIR}/actual.txt)\n"
                      "--- got ---\n${out}--- stderr ---\n${err}")
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "tsp-host exited with ${result}\n${err}")
endif()
