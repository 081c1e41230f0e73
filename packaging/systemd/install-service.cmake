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

include(${VANTORO_SYSTEMD_SOURCE_DIR}/units.cmake)
vantoro_write_units(${VANTORO_SYSTEMD_SOURCE_DIR} ${VANTORO_SYSTEMD_BINARY_DIR} units)
foreach(unit IN LISTS units)
  file(INSTALL ${unit}
    DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
file(INSTALL ${VANTORO_SYSTEMD_SOURCE_DIR}/vantoro-content-server.default
  DESTINATION ${VANTORO_SYSCONFDIR}/default RENAME vantoro-content-server
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
