# Writes the sonavel command's manual page from its own --help, so the page
# always lists the commands and options the program has.
#
#   cmake -DPROGRAM=path/to/sonavel -DVERSION=x.y.z -DOUTPUT=sonavel.1 -P CommandManPage.cmake

# A sanitized build's program runs here too; its leak report is the tests' business.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")

function(run_help out)
  execute_process(COMMAND "${PROGRAM}" ${ARGN} --help
    OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed: ${status}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text as it stands, in a no-fill block: backslashes and a leading dot or
# quote would otherwise be read as requests.
function(verbatim out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

run_help(main)
# The line naming where this build's help pages are is replaced by FILES.
string(REGEX REPLACE "\nHelp pages: [^\n]*\n" "" main "${main}")
verbatim(main_block "${main}")

set(page ".TH SONAVEL 1 \"\" \"Sonavel ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nsonavel \\- prepare and run a Sonavel station from the command line\n")
string(APPEND page ".SH SYNOPSIS\n.B sonavel\n.I COMMAND\n[\\fIOPTION\\fR]... [\\fIARGUMENT\\fR]...\n")
string(APPEND page ".SH DESCRIPTION\n${main_block}")
string(APPEND page ".SH COMMANDS\n")

# The commands are the indented words of the "Commands:" block.
string(REGEX MATCH "Commands:\n(  [^\n]+\n)+" block "${main}")
string(REGEX MATCHALL "\n  [a-z][a-z-]*" names "${block}")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  run_help(text ${name})
  verbatim(text_block "${text}")
  string(APPEND page ".SS ${name}\n${text_block}")
endforeach()

string(APPEND page ".SH FILES\n")
string(APPEND page ".TP\n.I /usr/share/sonavel/help/index.html\nThe help pages (under the prefix Sonavel was installed to).\n")
string(APPEND page ".TP\n.I $XDG_CONFIG_HOME/Sonavel/settings.db\nThe settings store shared with Sonavel Creator and Sonavel Player.\n")
string(APPEND page ".TP\n.I $XDG_DATA_HOME/Sonavel\nThe program folder: the default clock and the folders Playlists, Logs, Time, Clocks and Backup.\n")
string(APPEND page ".SH SEE ALSO\n.BR sonavel-player (1),\n.BR sonavel-creator (1),\n.BR systemctl (1)\n")
file(WRITE "${OUTPUT}" "${page}")
