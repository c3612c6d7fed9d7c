# Run at install time: the units name the installed program by its full path,
# which is known only once the prefix is (cmake --install --prefix, or the
# package's /usr).
set(bindir "${CMAKE_INSTALL_PREFIX}/${SONAVEL_BINDIR}")
set(units "${SONAVEL_UNITS_BUILD}")
file(MAKE_DIRECTORY "${units}")
foreach(template IN LISTS SONAVEL_UNIT_TEMPLATES)
  get_filename_component(name "${template}" NAME)
  string(REGEX REPLACE "[.]in$" "" name "${name}")
  file(READ "${template}" text)
  string(REPLACE "@BINDIR@" "${bindir}" text "${text}")
  file(WRITE "${units}/${name}" "${text}")
  list(APPEND made "${units}/${name}")
endforeach()
file(INSTALL ${made} ${SONAVEL_UNIT_FILES}
  DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/user"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
