# Run at install time: the manual pages and the systemd units name the
# installed programs and folders by their full paths, known only once the
# prefix is. The pages and the changelog are installed compressed, as
# Debian's are.
# Words like @BINDIR@ below are plain text, not references.
cmake_policy(VERSION 3.25)
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(bindir "${prefix}/${SONAVEL_BINDIR}")
set(datadir "${prefix}/${SONAVEL_DATADIR}")

# systemd's user manager finds units under /usr and /usr/local in
# lib/systemd/user, and in a home's ~/.local in share/systemd/user.
set(data_home "$ENV{XDG_DATA_HOME}")
if(data_home STREQUAL "" AND NOT "$ENV{HOME}" STREQUAL "")
  set(data_home "$ENV{HOME}/.local/share")
endif()
get_filename_component(real_datadir "${datadir}" REALPATH)
if(NOT data_home STREQUAL "")
  get_filename_component(data_home "${data_home}" REALPATH)
endif()
if(NOT data_home STREQUAL "" AND real_datadir STREQUAL data_home)
  set(unitdir "${datadir}/systemd/user")
  set(found_by_manager TRUE)
else()
  set(unitdir "${prefix}/lib/systemd/user")
  set(found_by_manager FALSE)
  if(prefix STREQUAL "/usr" OR prefix STREQUAL "/usr/local")
    set(found_by_manager TRUE)
  endif()
endif()

find_program(gzip_program gzip REQUIRED)
file(MAKE_DIRECTORY "${SONAVEL_WORK}")
set(pages "")
set(units "")
foreach(template IN LISTS SONAVEL_FILLED)
  get_filename_component(name "${template}" NAME)
  string(REGEX REPLACE "[.]in$" "" name "${name}")
  file(READ "${template}" text)
  string(REPLACE "@BINDIR@" "${bindir}" text "${text}")
  string(REPLACE "@DATADIR@" "${datadir}" text "${text}")
  string(REPLACE "@UNITDIR@" "${unitdir}" text "${text}")
  string(REPLACE "@SONAVEL_VERSION@" "${SONAVEL_VERSION}" text "${text}")
  string(REPLACE "@SONAVEL_DATE@" "${SONAVEL_DATE}" text "${text}")
  file(WRITE "${SONAVEL_WORK}/${name}" "${text}")
  if(name MATCHES "[.][1-9]$")
    # -n: no name or time in the header, so the same page compresses the same.
    execute_process(COMMAND "${gzip_program}" -9nf "${SONAVEL_WORK}/${name}"
      COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND pages "${SONAVEL_WORK}/${name}.gz")
  else()
    list(APPEND units "${SONAVEL_WORK}/${name}")
  endif()
endforeach()
configure_file("${SONAVEL_CHANGELOG}" "${SONAVEL_WORK}/changelog" COPYONLY)
execute_process(COMMAND "${gzip_program}" -9nf "${SONAVEL_WORK}/changelog"
  COMMAND_ERROR_IS_FATAL ANY)

set(readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL ${pages} DESTINATION "${prefix}/${SONAVEL_MANDIR}/man1" FILE_PERMISSIONS ${readable})
file(INSTALL "${SONAVEL_WORK}/changelog.gz" DESTINATION "${datadir}/doc/sonavel"
  FILE_PERMISSIONS ${readable})
file(INSTALL ${units} DESTINATION "${unitdir}" FILE_PERMISSIONS ${readable})

if(NOT found_by_manager AND "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "The systemd user units are in ${unitdir}, where the user manager does not "
    "look for them. Make them known with: systemctl --user link ${unitdir}/sonavel-air.service "
    "(and likewise each of the others), or install with --prefix ~/.local.")
endif()
