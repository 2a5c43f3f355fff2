# Writes kelo-cli.1 with help2man: the top-level help, then one section per subcommand taken from
# `kelo-cli SUBCOMMAND --help`, then the fixed sections of EXTRA.
execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE _top RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "kelo-cli --help failed")
endif()
string(REGEX MATCH "Subcommands:\n(.*)" _list "${_top}")
string(REGEX MATCHALL "\n  ([a-z]+) " _names "\n${CMAKE_MATCH_1}")
set(_include ${OUT}.h2m)
file(READ ${EXTRA} _extra)
set(_text "${_extra}\n[COMMANDS]\n")
foreach(_entry IN LISTS _names)
  string(STRIP "${_entry}" _name)
  execute_process(COMMAND ${CLI} ${_name} --help OUTPUT_VARIABLE _help RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "kelo-cli ${_name} --help failed")
  endif()
  # The first line repeats the summary of the list above; the usage line names the build path.
  string(REGEX REPLACE "Usage: [^ ]*kelo-cli" "Usage: kelo-cli" _help "${_help}")
  string(REPLACE "\\" "\\\\" _help "${_help}")
  string(APPEND _text ".SS ${_name}\n.nf\n${_help}\n.fi\n")
endforeach()
file(WRITE ${_include} "${_text}")
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 "--name=burn DV recording dates into the picture"
          --include=${_include} --output=${OUT} ${CLI}
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "help2man failed")
endif()
