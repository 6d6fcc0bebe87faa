# The provider's dialogs run by tsp-host as TAPI's UI process runs them: the provider dialog
# played on the text presenter adds a line, then the line dialog, played by a dialog script
# and asking the started provider through the UI callback, changes its password. regtool
# shows the settings after each run.
# cmake -DHOST= -DREGTOOL= -DPROVIDER= -DWORK_DIR= -P tsp_host_dialogs.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(registry "${WORK_DIR}/registry.reg")
set(device_key
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\VOIP Service Provider (Z9410)\\Device3")

function(run_host input)
  execute_process(COMMAND "${HOST}" --registry "${registry}" ${ARGN}
                  INPUT_FILE "${input}" WORKING_DIRECTORY "${WORK_DIR}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "tsp-host ${ARGN}: exit ${result}\n${out}${err}")
  endif()
  set(OUT "${out}" PARENT_SCOPE)
endfunction()

function(expect_in text where)
  string(FIND "${where}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected [${text}] in:\n${where}")
  endif()
endfunction()

# The expected text may come in several quoted parts.
function(expect_settings)
  string(CONCAT expected ${ARGN})
  execute_process(COMMAND "${REGTOOL}" --file "${registry}" dump "${device_key}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0 OR NOT out STREQUAL expected)
    message(FATAL_ERROR "the settings differ (regtool exit ${result})\n"
                        "--- got ---\n${out}--- expected ---\n${expected}--- stderr ---\n${err}")
  endif()
endfunction()

# What a user types into the provider dialog: Add..., the new line, OK, then OK.
file(WRITE "${WORK_DIR}/typed.txt"
     "click 1005\nset 1008 2001\nset 1009 secret\nset 1010 secret\nclick 1\nclick 1\n")
run_host("${WORK_DIR}/typed.txt" --dialogs text "${PROVIDER}" config 3)
expect_in("1008 edit \"0.0.0.0\" disabled" "${OUT}")
expect_in("    > 0 \"2001\"\n" "${OUT}")
expect_in("> dialog 101 closed\nproviderConfig(3) = 0\n" "${OUT}")
# The line is written when it is added, the addresses (missing, shown as 0.0.0.0) at OK.
expect_settings("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\${device_key}]\n\"Lines\"=dword:00000001\n"
                "\"Line.0.Number\"=\"2001\"\n\"Line.0.Password\"=\"secret\"\n"
                "\"IP1\"=\"0.0.0.0\"\n\"IP2\"=\"0.0.0.0\"\n\n")

# The started provider answers the line dialog's questions; a device without a line is refused.
file(WRITE "${WORK_DIR}/dialog.txt"
     "dialog \"Modify Password\"\ncheck 1008 text 2001\ncheck 1008 readonly\n"
     "check 1 disabled\nset 1009 changed\nset 1010 changed\nclick 1\n")
file(WRITE "${WORK_DIR}/commands.txt" "enum 3\ninit 3\nlineconfig 0\nlineconfig 1\nshutdown\n")
run_host("${WORK_DIR}/commands.txt" --dialogs "script:${WORK_DIR}/dialog.txt" "${PROVIDER}"
         --script "${WORK_DIR}/commands.txt")
string(CONCAT answered "TSPI_providerGenericDialogData = 0 {0xFFFF0002, 0x00000000}\n"
       "lineConfigDialog(0, \"tapi/line\") = 0\n")
expect_in("${answered}" "${OUT}")
expect_in("lineConfigDialog(1, \"tapi/line\") = LINEERR_OPERATIONFAILED (0x80000048)" "${OUT}")
expect_settings("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\${device_key}]\n\"Lines\"=dword:00000001\n"
                "\"IP1\"=\"0.0.0.0\"\n\"IP2\"=\"0.0.0.0\"\n\"Line.0.Number\"=\"2001\"\n"
                "\"Line.0.Password\"=\"changed\"\n\n")
