# Run by CPack before it packs the staged tree: the programs lose their
# debugging information and the sections Debian's own packages drop (as
# dh_strip does), so the package stays small and lintian has nothing to say.
cmake_minimum_required(VERSION 3.25)
find_program(strip_program NAMES strip REQUIRED)
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
if(staged STREQUAL "")
  message(FATAL_ERROR "StripPackage: no program under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(program IN LISTS staged)
  execute_process(COMMAND "${strip_program}" --remove-section=.comment --remove-section=.note
                          --strip-unneeded "${program}"
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
