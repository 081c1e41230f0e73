# Installs the content server's unit and settings file (run by
# `cmake --install` and cpack, component "server"). The unit is written here
# because the paths in it follow the prefix of this install.
#
# As with GNUInstallDirs, prefix /usr keeps its settings in /etc; any other
# prefix keeps them beneath itself.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(VANTORO_SYSCONFDIR /etc)
else()
  set(VANTORO_SYSCONFDIR ${CMAKE_INSTALL_PREFIX}/etc)
endif()
set(VANTORO_BINDIR ${CMAKE_INSTALL_PREFIX}/${VANTORO_INSTALL_BINDIR})

configure_file(${VANTORO_SYSTEMD_SOURCE_DIR}/vantoro-content-server.service.in
  ${VANTORO_SYSTEMD_BINARY_DIR}/vantoro-content-server.service @ONLY)
file(INSTALL ${VANTORO_SYSTEMD_BINARY_DIR}/vantoro-content-server.service
  DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL ${VANTORO_SYSTEMD_SOURCE_DIR}/vantoro-content-server.default
  DESTINATION ${VANTORO_SYSCONFDIR}/default RENAME vantoro-content-server
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
