# Writes the sonavel command's manual page from its own --help, so the page
# always lists the commands and options the program has. The hand-written
# parts come from TEMPLATE, whose lines @DESCRIPTION@, @OPTIONS@,
# @COMMANDS@ and @EXIT_STATUS@ are replaced here; the words the install
# fills in (the prefix's folders, the version and date) are left as they are.
#
#   cmake -DPROGRAM=path/to/sonavel -DTEMPLATE=sonavel.1.in -DOUTPUT=sonavel.1 -P CommandManPage.cmake

cmake_minimum_required(VERSION 3.25)

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

# Text for roff: backslashes and hyphens as roff writes them, and a leading
# dot or quote kept from being read as a request.
function(roff out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" text "${text}")
  if(text MATCHES "^[.']")
    string(PREPEND text "\\&")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The help's blank-line separated blocks, as a list; a semicolon of the text
# travels as SEMI so that the list keeps it.
function(blocks out text)
  string(REPLACE ";" "SEMI" text "${text}")
  string(REGEX REPLACE "\n\n+" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(restore out text)
  string(REPLACE "SEMI" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# "Heading:\n  name   what it is\n..." as tagged paragraphs, the name in bold.
function(entries out block)
  # Not a REGEX REPLACE anchored at ^: CMake anchors it anew after each match.
  string(FIND "${block}" "\n" heading_end)
  math(EXPR heading_end "${heading_end} + 1")
  string(SUBSTRING "${block}" ${heading_end} -1 block)
  string(REPLACE "\n" ";" lines "${block}")
  set(result "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    string(REGEX MATCH "^(.*[^ ])  +(.*)$" found "${line}")
    if(found)
      set(name "${CMAKE_MATCH_1}")
      set(what "${CMAKE_MATCH_2}")
    else()
      set(name "${line}")
      set(what "")
    endif()
    restore(name "${name}")
    restore(what "${what}")
    roff(name "${name}")
    roff(what "${what}")
    string(APPEND result ".TP\n\\fB${name}\\fR\n${what}\n")
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Running text, filled by the formatter: its own line breaks do not count.
function(prose out block)
  restore(block "${block}")
  roff(block "${block}")
  string(STRIP "${block}" block)
  set(${out} ".PP\n${block}\n" PARENT_SCOPE)
endfunction()

run_help(main)
blocks(main_blocks "${main}")
set(description "")
set(options "")
set(exit_status "")
set(command_names "")
foreach(block IN LISTS main_blocks)
  if(block MATCHES "^Usage: [^\n]*\n(.*)$")
    prose(description "${CMAKE_MATCH_1}")
  elseif(block MATCHES "^Commands:")
    string(REGEX MATCHALL "\n  [a-z][a-z-]*" command_names "${block}")
  elseif(block MATCHES "^Options:")
    entries(options "${block}")
  elseif(block MATCHES "^Exit status:")
    entries(exit_status "${block}")
  elseif(block MATCHES "^Help pages:")
    # Where this build's pages are; FILES says where the installed ones are.
  else()
    prose(paragraph "${block}")
    string(APPEND description "${paragraph}")
  endif()
endforeach()

# Each command: its usage line, its text, its options; the exit status is
# the same for all and said once.
set(commands "")
foreach(name IN LISTS command_names)
  string(STRIP "${name}" name)
  run_help(text ${name})
  blocks(command_blocks "${text}")
  roff(title "${name}")
  string(APPEND commands ".SS ${title}\n")
  foreach(block IN LISTS command_blocks)
    if(block MATCHES "^Usage: sonavel ([^\n]*)(\n(.*))?$")
      restore(synopsis "${CMAKE_MATCH_1}")
      roff(synopsis "${synopsis}")
      string(APPEND commands ".PP\n\\fBsonavel\\fR ${synopsis}\n")
      if(NOT CMAKE_MATCH_3 STREQUAL "")
        prose(paragraph "${CMAKE_MATCH_3}")
        string(APPEND commands "${paragraph}")
      endif()
    elseif(block MATCHES "^Options:")
      entries(list "${block}")
      string(APPEND commands ".PP\nOptions:\n${list}")
    elseif(block MATCHES "^Exit status:")
    else()
      prose(paragraph "${block}")
      string(APPEND commands "${paragraph}")
    endif()
  endforeach()
endforeach()

file(READ "${TEMPLATE}" page)
foreach(part description options commands exit_status)
  string(TOUPPER "${part}" marker)
  string(REPLACE "@${marker}@\n" "${${part}}" page "${page}")
endforeach()
file(WRITE "${OUTPUT}" "${page}")
