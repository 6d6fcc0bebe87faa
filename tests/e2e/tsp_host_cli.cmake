# tsp-host's command line: usage errors, a library that cannot be loaded, a bad script line.
# cmake -DHOST=<tsp-host> -DPROVIDER=<OMBIX.TSP> -DWORK_DIR=<scratch> -P tsp_host_cli.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

function(expect_exit code)
  execute_process(COMMAND "${HOST}" ${ARGN} INPUT_FILE "${WORK_DIR}/input.txt"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result STREQUAL "${code}")
    message(FATAL_ERROR "tsp-host ${ARGN}: exit ${result}, expected ${code}\n${out}${err}")
  endif()
  set(OUT "${out}" PARENT_SCOPE)
  set(ERR "${err}" PARENT_SCOPE)
endfunction()

function(expect_in text where)
  string(FIND "${where}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected [${text}] in:\n${where}")
  endif()
endfunction()

file(WRITE "${WORK_DIR}/input.txt" "negotiate\n")
expect_exit(2)
expect_in("no provider library given" "${ERR}")
expect_exit(2 "${PROVIDER}" --wait soon)
expect_exit(2 "${PROVIDER}" --frobnicate)
expect_exit(1 "${WORK_DIR}/missing.TSP")
expect_in("cannot load" "${ERR}")

# Commands from standard input; a bad line is reported, the rest still runs, the exit is 1.
file(WRITE "${WORK_DIR}/input.txt" "negotiate 1 2 3 4\nopen\nfrobnicate\nopen zero\n"
     "init lines=two\ninit phones=1\ninit lines=0x10001\ngetid 0\nremove\nnegotiate\n")
expect_exit(1 "${PROVIDER}")
expect_in("error: negotiate: wrong number of arguments" "${OUT}")
expect_in("error: open: wrong number of arguments" "${OUT}")
expect_in("error: unknown command: frobnicate" "${OUT}")
expect_in("error: open: not a number: zero" "${OUT}")
expect_in("error: init: not a number: lines=two" "${OUT}")
expect_in("error: init: unknown option: phones=1" "${OUT}")
expect_in("error: init: lines=N takes at most 65536 lines" "${OUT}")
expect_in("error: getid: wrong number of arguments" "${OUT}")
expect_in("error: remove: wrong number of arguments" "${OUT}")
expect_in("> negotiate\nlineNegotiateTSPIVersion(INITIALIZE_NEGOTIATION, 0x00010003, 0x00020001) = 0, version 0x00020001\n" "${OUT}")
expect_in("unloaded OMBIX.TSP\n" "${OUT}")

# The dialogs' presenter and the one command of the command line.
expect_exit(2 "${PROVIDER}" --dialogs window)
expect_in("--dialogs takes text, script:FILE or none" "${ERR}")
expect_exit(1 "${PROVIDER}" --dialogs "script:${WORK_DIR}/missing.txt")
expect_in("cannot read the dialog script" "${ERR}")
# Commands and text dialogs cannot both read a pipe.
expect_exit(2 "${PROVIDER}" --dialogs text)
expect_in("--dialogs text reads standard input" "${ERR}")
expect_exit(2 "${PROVIDER}" negotiate --script "${WORK_DIR}/input.txt")
expect_exit(1 "${PROVIDER}" lineconfig)
expect_in("> lineconfig\nerror: lineconfig: wrong number of arguments" "${OUT}")
expect_exit(0 "${PROVIDER}" --dialogs none negotiate 0x00010003 0x00020001)
expect_in("> negotiate 0x00010003 0x00020001\nlineNegotiateTSPIVersion(" "${OUT}")
