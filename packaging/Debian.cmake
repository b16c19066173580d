# The Debian package: the install rules under /usr, its dependencies found
# from the libraries the programs link (dpkg-shlibdeps) and named for what
# they only use at run time.

# Whoever builds a package to hand on names themselves here.
set(ORVANTE_PACKAGE_MAINTAINER "Orvante developers <orvante@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

# A Debian package carries its changelog compressed, and marks what it puts
# in /etc as the administrator's to change (kept on upgrades).
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
find_program(ORVANTE_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND ${ORVANTE_GZIP} -9nc ${CMAKE_CURRENT_BINARY_DIR}/changelog > ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog VERBATIM)
add_custom_target(orvante_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${ORVANTE_DOC_DIR})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles "/etc/xdg/autostart/orvante-vespera.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/conffiles)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvante)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvante")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "personal calendar agent that negotiates meetings for its user")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "The agent takes its user's appointments and contacts from their calendar\n"
  "(iCalendar and vCard files, or a CalDAV server), registers with an agent name\n"
  "server and negotiates meeting times with other users' agents. It shows a window\n"
  "with a notification-area icon, or runs without one as a user service, and it\n"
  "browses and imports web schedules.\n"
  ".\n"
  "The package also holds the name server (ansd), a one-shot agent for the shell\n"
  "(agent-tell) and a settings editor (vespera-reg).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVANTE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The programs' own libraries are found by their run path.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Time zones are read from the zone database; web pages and help open in
# the user's browser; Wayland sessions want Qt's own plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tzdata")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The prefix at install time is /usr (the files go below DESTDIR), so that
# the entries and the unit name the programs where the package puts them.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
