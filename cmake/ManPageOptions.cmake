# cmake -DPROGRAM=<program> -DPAGE=<page.1.scd> -P ManPageOptions.cmake
# Fails unless the program answers --help with status 0, and the long options its help names are
# exactly those its man page describes (the page's option lines start with "*-").
foreach(var PROGRAM PAGE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "usage: cmake -DPROGRAM=<program> -DPAGE=<page.1.scd> -P ManPageOptions.cmake")
  endif()
endforeach()

execute_process(COMMAND ${PROGRAM} --help
                INPUT_FILE /dev/null
                OUTPUT_VARIABLE help ERROR_VARIABLE helpErrors
                RESULT_VARIABLE status
                TIMEOUT 20)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help ended with ${status}:\n${help}${helpErrors}")
endif()
string(REGEX MATCHALL "--[a-z][a-z0-9-]*" helpOptions "${help}")
list(REMOVE_DUPLICATES helpOptions)

file(STRINGS ${PAGE} optionLines REGEX "^\\*-")
string(REGEX MATCHALL "--[a-z][a-z0-9-]*" pageOptions "${optionLines}")
list(REMOVE_DUPLICATES pageOptions)

set(notInPage ${helpOptions})
list(REMOVE_ITEM notInPage ${pageOptions})
set(notInHelp ${pageOptions})
list(REMOVE_ITEM notInHelp ${helpOptions})
if(notInPage OR notInHelp)
  message(FATAL_ERROR "${PAGE} and ${PROGRAM} --help disagree:\n"
                      "  in --help, not described in the page: ${notInPage}\n"
                      "  described in the page, not in --help: ${notInHelp}")
endif()
list(LENGTH pageOptions count)
message(STATUS "${count} options agree")
