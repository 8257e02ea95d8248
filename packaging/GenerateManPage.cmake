# Writes the orvik-cli manual page: the hand-written TEMPLATE with the usage text that the
# built program prints in place of @ORVIK_CLI_USAGE@, so that the page's synopsis is always
# the program's own. Run with cmake -P and -DCLI=<orvik-cli> -DTEMPLATE=<in> -DOUTPUT=<page>
# -DPROJECT_VERSION=<x.y.z> -DORVIK_RELEASE_DATE=<YYYY-MM-DD>.
execute_process(
  COMMAND "${CLI}" --help
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE ignored)
set(usage "${out}${err}")
if(NOT usage MATCHES "orvik-cli")
  message(FATAL_ERROR "${CLI} --help printed no usage text")
endif()

# The text goes into a no-fill block: backslashes and a leading "." or "'" would otherwise
# be read as roff requests.
string(REGEX REPLACE "^[Uu]sage:?[ \t]*\n" "" usage "${usage}")
string(REGEX REPLACE "\n+$" "" usage "${usage}")
string(REPLACE "\\" "\\e" usage "${usage}")
string(REPLACE "-" "\\-" usage "${usage}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" usage "${usage}")
set(ORVIK_CLI_USAGE "${usage}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
