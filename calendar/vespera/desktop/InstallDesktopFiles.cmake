# Run by `cmake --install` and by CPack, with the prefix of that install:
# the desktop entries and the user unit name the program by its installed
# path, which only the prefix given then says. ORVANTE_DESKTOP_WORK is a
# folder of the build tree for the configured files.
#
# The autostart entry goes where sessions look for it: /etc/xdg for a
# system installation under /usr, <prefix>/etc/xdg otherwise.

set(source "${CMAKE_CURRENT_LIST_DIR}")
set(VESPERA_PATH "${CMAKE_INSTALL_PREFIX}/bin/vespera")
# The README as a file:// address in the unit, where "%" starts one of
# systemd's specifiers.
set(readme "${CMAKE_INSTALL_PREFIX}/share/doc/orvante/README.md")
foreach(special "%;%25" " ;%20" "\";%22" "#;%23" "?;%3F")
  list(GET special 0 character)
  list(GET special 1 escaped)
  string(REPLACE "${character}" "${escaped}" readme "${readme}")
endforeach()
string(REPLACE "%" "%%" readme "${readme}")
set(ORVANTE_README_ADDRESS "file://${readme}")

# One argument of an Exec line: quoted when it holds a character the line
# reserves, with the line's escapes, then those of the entry's strings.
set(exec "${VESPERA_PATH}")
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  foreach(special "\"" "`" "$")
    string(REPLACE "${special}" "\\${special}" exec "${exec}")
  endforeach()
  string(REPLACE "\\" "\\\\" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
set(VESPERA_EXEC "${exec}")

# systemd reads its own quoting and takes "%" for its specifiers.
set(unit_exec "${VESPERA_PATH}")
string(REPLACE "\\" "\\\\" unit_exec "${unit_exec}")
string(REPLACE "\"" "\\\"" unit_exec "${unit_exec}")
string(REPLACE "%" "%%" unit_exec "${unit_exec}")
set(VESPERA_UNIT_EXEC "\"${unit_exec}\"")

if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(xdg_dir "/etc/xdg")
else()
  set(xdg_dir "${CMAKE_INSTALL_PREFIX}/etc/xdg")
endif()

set(work "${ORVANTE_DESKTOP_WORK}")
file(MAKE_DIRECTORY "${work}/autostart")
configure_file("${source}/orvante-vespera.desktop.in" "${work}/orvante-vespera.desktop" @ONLY)
configure_file("${source}/orvante-vespera-autostart.desktop.in" "${work}/autostart/orvante-vespera.desktop" @ONLY)
configure_file("${source}/orvante-agent.service.in" "${work}/orvante-agent.service" @ONLY)

file(INSTALL "${work}/orvante-vespera.desktop" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")
file(INSTALL "${source}/orvante-vespera.svg" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/scalable/apps")
file(INSTALL "${work}/autostart/orvante-vespera.desktop" DESTINATION "${xdg_dir}/autostart")
file(INSTALL "${work}/orvante-agent.service" DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")
