# Runs switch-decode as a person debugging a capture would and compares what it prints with the
# expected text. Arguments: -DDECODER=<switch-decode> -DSOURCE_DIR=<this directory> -DWORK_DIR=<scratch>
function(expect_output name args expected_file)
  execute_process(COMMAND ${DECODER} ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name}: exit status ${rc}\n${err}")
  endif()
  file(READ ${SOURCE_DIR}/${expected_file} expected)
  if(NOT out STREQUAL expected)
    file(WRITE ${WORK_DIR}/${name}.actual "${out}")
    message(FATAL_ERROR "${name}: output differs from ${expected_file}; see ${WORK_DIR}/${name}.actual")
  endif()
endfunction()

file(MAKE_DIRECTORY ${WORK_DIR})
expect_output(received "--time;45296;${SOURCE_DIR}/switch_decode_received.hex" switch_decode_received.txt)
expect_output(sent "--sent;--time;45296;${SOURCE_DIR}/switch_decode_sent.hex" switch_decode_sent.txt)

# Standard input, with a bad line among good ones: the good ones print, the bad one is reported
# with its line number, and the exit status says so.
file(WRITE ${WORK_DIR}/mixed.hex "00000001 00000002\nnot hex\n00000002 00000002\n")
execute_process(COMMAND ${DECODER} --time 0 INPUT_FILE ${WORK_DIR}/mixed.hex
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX MATCHALL "OMBIX_ACK" acks "${out}")
list(LENGTH acks ack_count)
if(NOT rc EQUAL 1 OR NOT ack_count EQUAL 2 OR NOT err MATCHES "<stdin>:2: not a hexadecimal digit")
  message(FATAL_ERROR "bad line: status ${rc}, ${ack_count} dumps, stderr: ${err}")
endif()

execute_process(COMMAND ${DECODER} ${WORK_DIR}/missing.hex RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT err MATCHES "missing.hex")
  message(FATAL_ERROR "missing file: status ${rc}, stderr: ${err}")
endif()
