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

# Bad lines, standard input and missing files: ToolTest.SwitchDecodeErrors (tools_cli_test.cpp).
