# Installs OMBIX.TSP with tsp-host into a fresh registry file, starts it and reads its lines,
# then removes it in a second run; each run's output must match its transcript and the
# registry must hold what each step leaves there.
# cmake -DHOST= -DREGTOOL= -DPROVIDER= -DSOURCE_DIR= -DWORK_DIR= -P tsp_host_install.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(registry "${WORK_DIR}/registry.reg")
configure_file("${SOURCE_DIR}/tsp_host_install.reg" "${registry}" COPYONLY)

function(run_script name)
  # In WORK_DIR, so that a listed file name without a directory is looked for there.
  execute_process(COMMAND "${HOST}" --provider "${PROVIDER}" --registry "${registry}"
                          --script "${SOURCE_DIR}/${name}.txt" --wait 5000
                  WORKING_DIRECTORY "${WORK_DIR}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  file(WRITE "${WORK_DIR}/${name}.actual" "${out}")
  file(READ "${SOURCE_DIR}/${name}.expected" expected)
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "tsp-host output differs from ${name}.expected "
                        "(see ${WORK_DIR}/${name}.actual)\n--- got ---\n${out}--- stderr ---\n${err}")
  endif()
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "tsp-host exited with ${result}\n${err}")
  endif()
endfunction()

# The list keeps the absolute file name with the platform's separators as backslashes, which
# the registry file writes doubled.
file(REAL_PATH "${PROVIDER}" provider_file)
string(REPLACE "/" "\\\\" provider_file "${provider_file}")

function(check_registry name)
  execute_process(COMMAND "${REGTOOL}" --file "${registry}" dump
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  file(READ "${SOURCE_DIR}/${name}.reg" expected)
  string(REPLACE "@PROVIDER_FILE@" "${provider_file}" expected "${expected}")
  if(NOT result EQUAL 0 OR NOT out STREQUAL expected)
    message(FATAL_ERROR "the registry differs from ${name}.reg (regtool exit ${result})\n"
                        "--- got ---\n${out}--- expected ---\n${expected}--- stderr ---\n${err}")
  endif()
endfunction()

run_script(tsp_host_install)
check_registry(tsp_host_installed)
run_script(tsp_host_remove)
check_registry(tsp_host_removed)
