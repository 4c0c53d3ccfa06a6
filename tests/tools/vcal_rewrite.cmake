# versit vcal rewrite on one file: the exit status, what standard error
# says, and the text written (-o, read back byte for byte): every line
# ended by CR LF and, with CR LF read as LF, the expected text. Run with
# -DTOOL=, -DINPUT=, -DSTATUS=, -DSTDERR= (a pattern), -DEXPECTED= (a file,
# or empty to skip the comparison), -DOUT= (and -DEMULATOR= where the tool
# runs under one).
file(REMOVE ${OUT})
execute_process(COMMAND ${EMULATOR} ${TOOL} vcal rewrite ${INPUT} -o ${OUT}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL STATUS OR NOT "${err}" MATCHES "${STDERR}")
  message(FATAL_ERROR "versit vcal rewrite ${INPUT}: exit ${rc} (expected ${STATUS})\n${out}${err}")
endif()
# file(READ) passes CRs over: the line ends are counted in hexadecimal.
file(READ ${OUT} bytes HEX)
string(REGEX REPLACE "(..)" " \\1" bytes "${bytes}")
string(REGEX MATCHALL " 0a" lf "${bytes}")
string(REGEX MATCHALL " 0d 0a" crlf "${bytes}")
list(LENGTH lf lines)
list(LENGTH crlf crlfLines)
if(lines EQUAL 0 OR NOT lines EQUAL crlfLines)
  message(FATAL_ERROR "${crlfLines} of the ${lines} lines of ${OUT} end in CR LF")
endif()
if(EXPECTED)
  file(READ ${OUT} written)
  file(READ ${EXPECTED} expected)
  if(NOT written STREQUAL expected)
    message(FATAL_ERROR "${OUT} is not ${EXPECTED}:\n${written}")
  endif()
endif()
