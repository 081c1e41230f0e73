# Desktop and system integration: the menu entry and its icons, the
# software-centre metadata, the manual pages and the content server's systemd
# unit. Included once the executables are defined.
#
#   vantoro_icons      PNG icons rendered from the SVG source into
#                      <build>/icons/hicolor, where the application finds its
#                      window icon in the build tree
#   vantoro_man_pages  gzipped manual pages in <build>/man

include(GNUInstallDirs)

set(VANTORO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
# The desktop file name, icon name and AppStream id; Bundle::bundleIdentifier()
# gives the same name to the running application.
set(VANTORO_APP_ID app.vantoro.Vantoro)
set(VANTORO_DATA_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# --- Menu entry and software-centre metadata -------------------------------

install(FILES ${VANTORO_PACKAGING_DIR}/desktop/${VANTORO_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
  PERMISSIONS ${VANTORO_DATA_PERMISSIONS} COMPONENT app)
install(FILES ${VANTORO_PACKAGING_DIR}/desktop/${VANTORO_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
  PERMISSIONS ${VANTORO_DATA_PERMISSIONS} COMPONENT app)

# --- Icons -----------------------------------------------------------------

# Rendered at build time from the one SVG source, for the desktops that do
# not scale SVG icons themselves and for the window icon (reading SVG would
# need Qt's SVG plugin at run time).
find_program(VANTORO_RSVG_CONVERT rsvg-convert REQUIRED)
set(VANTORO_ICON_SOURCE ${VANTORO_PACKAGING_DIR}/desktop/${VANTORO_APP_ID}.svg)
# Beside the bundle (<build>/resources), as share/icons is beside
# share/vantoro once installed: the application looks in both the same way.
set(VANTORO_ICON_DIR ${CMAKE_BINARY_DIR}/icons/hicolor)
set(vantoro_icon_pngs)
foreach(size IN ITEMS 16 24 32 48 64 128 256)
  set(folder ${VANTORO_ICON_DIR}/${size}x${size}/apps)
  set(png ${folder}/${VANTORO_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${VANTORO_RSVG_CONVERT} --width ${size} --height ${size} --format png
            --output ${png} ${VANTORO_ICON_SOURCE}
    DEPENDS ${VANTORO_ICON_SOURCE}
    COMMENT "Rendering the ${size}x${size} application icon"
    VERBATIM)
  list(APPEND vantoro_icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    PERMISSIONS ${VANTORO_DATA_PERMISSIONS} COMPONENT app)
endforeach()
install(FILES ${VANTORO_ICON_SOURCE} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  PERMISSIONS ${VANTORO_DATA_PERMISSIONS} COMPONENT app)
add_custom_target(vantoro_icons ALL DEPENDS ${vantoro_icon_pngs})
add_dependencies(vantoro vantoro_icons)

# --- Manual pages ----------------------------------------------------------

find_program(VANTORO_GZIP gzip REQUIRED)
set(VANTORO_MAN_DIR ${CMAKE_BINARY_DIR}/man)

# gzip -n: no name or time stamp, so that two builds give the same file.
function(vantoro_gzip_man_page page component)
  add_custom_command(OUTPUT ${VANTORO_MAN_DIR}/${page}.gz
    COMMAND ${VANTORO_GZIP} -9 -n -f -k ${VANTORO_MAN_DIR}/${page}
    DEPENDS ${VANTORO_MAN_DIR}/${page}
    VERBATIM)
  install(FILES ${VANTORO_MAN_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    PERMISSIONS ${VANTORO_DATA_PERMISSIONS} COMPONENT ${component})
endfunction()

# The application's page is written by hand. SOURCE_DATE_EPOCH, when set,
# fixes the date.
string(TIMESTAMP VANTORO_MAN_DATE "%B %Y" UTC)
configure_file(${VANTORO_PACKAGING_DIR}/man/vantoro.1.in ${VANTORO_MAN_DIR}/vantoro.1 @ONLY)
vantoro_gzip_man_page(vantoro.1 app)
set(vantoro_man_pages ${VANTORO_MAN_DIR}/vantoro.1.gz)

# The server's page is made from its --help, so that it lists the options
# the server really has, with the sections of the include file around them.
find_program(VANTORO_HELP2MAN help2man)
if(VANTORO_HELP2MAN)
  set(h2m_include ${VANTORO_PACKAGING_DIR}/man/vantoro-content-server.h2m)
  add_custom_command(OUTPUT ${VANTORO_MAN_DIR}/vantoro-content-server.1
    COMMAND ${VANTORO_HELP2MAN} --no-info --no-discard-stderr --section=1
            --version-string=${PROJECT_VERSION} --include=${h2m_include}
            --output=${VANTORO_MAN_DIR}/vantoro-content-server.1
            $<TARGET_FILE:vantoro-content-server>
    DEPENDS vantoro-content-server ${h2m_include}
    COMMENT "Making the content server's manual page"
    VERBATIM)
  vantoro_gzip_man_page(vantoro-content-server.1 server)
  list(APPEND vantoro_man_pages ${VANTORO_MAN_DIR}/vantoro-content-server.1.gz)
else()
  message(WARNING "help2man not found (Debian package help2man): the content server's manual "
                  "page is neither built nor installed")
endif()
add_custom_target(vantoro_man_pages ALL DEPENDS ${vantoro_man_pages})

# --- Content server service ------------------------------------------------

# The unit names the executable and the settings file by absolute path, and
# the prefix is only known when installing (a package build installs with
# prefix /usr), so the unit is written then.
install(CODE "
  set(VANTORO_SYSTEMD_SOURCE_DIR \"${VANTORO_PACKAGING_DIR}/systemd\")
  set(VANTORO_SYSTEMD_BINARY_DIR \"${CMAKE_BINARY_DIR}/systemd\")
  set(VANTORO_INSTALL_BINDIR \"${CMAKE_INSTALL_BINDIR}\")"
  COMPONENT server)
install(SCRIPT ${VANTORO_PACKAGING_DIR}/systemd/install-service.cmake COMPONENT server)
# The settings file is the administrator's: upgrades must not overwrite it.
# Packages install with prefix /usr, which keeps it in /etc.
set(VANTORO_SERVER_CONFFILES ${CMAKE_BINARY_DIR}/systemd/conffiles)
file(WRITE ${VANTORO_SERVER_CONFFILES} "/etc/default/vantoro-content-server\n")
list(APPEND CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${VANTORO_SERVER_CONFFILES})

# --- Checks ----------------------------------------------------------------

if(BUILD_TESTING)
  find_program(VANTORO_DESKTOP_FILE_VALIDATE desktop-file-validate)
  find_program(VANTORO_APPSTREAMCLI appstreamcli)
  if(VANTORO_DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry_valid COMMAND ${VANTORO_DESKTOP_FILE_VALIDATE}
             ${VANTORO_PACKAGING_DIR}/desktop/${VANTORO_APP_ID}.desktop)
    # It exits 0 on warnings too; those are faults here as well.
    set_tests_properties(desktop_entry_valid PROPERTIES FAIL_REGULAR_EXPRESSION "error|warning")
  endif()
  if(VANTORO_APPSTREAMCLI)
    add_test(NAME metainfo_valid COMMAND ${VANTORO_APPSTREAMCLI} validate --no-net
             ${VANTORO_PACKAGING_DIR}/desktop/${VANTORO_APP_ID}.metainfo.xml)
  endif()
  # Both pages must format without a warning from groff.
  find_program(VANTORO_GROFF groff)
  if(VANTORO_GROFF)
    set(pages)
    foreach(page IN LISTS vantoro_man_pages)
      string(REGEX REPLACE "\\.gz$" "" page ${page})
      list(APPEND pages ${page})
    endforeach()
    add_test(NAME man_pages_clean COMMAND ${VANTORO_GROFF} -man -ww -z ${pages})
    set_tests_properties(man_pages_clean PROPERTIES FAIL_REGULAR_EXPRESSION "warning|error")
  endif()
  # The unit as installed, but naming the executable of this build, which
  # systemd-analyze wants to find.
  find_program(VANTORO_SYSTEMD_ANALYZE systemd-analyze)
  if(VANTORO_SYSTEMD_ANALYZE)
    set(VANTORO_BINDIR "$<TARGET_FILE_DIR:vantoro-content-server>")
    set(VANTORO_SYSCONFDIR /etc)
    include(${VANTORO_PACKAGING_DIR}/systemd/units.cmake)
    set(check ${CMAKE_BINARY_DIR}/systemd/check)
    vantoro_write_units(${VANTORO_PACKAGING_DIR}/systemd ${check}/in units)
    # The instance unit is checked as an instance of itself.
    file(GENERATE OUTPUT ${check}/vantoro-content-server.service
         INPUT ${check}/in/vantoro-content-server.service)
    file(GENERATE OUTPUT ${check}/vantoro-content-server@8081.service
         INPUT ${check}/in/vantoro-content-server@.service)
    add_test(NAME service_unit_valid COMMAND ${VANTORO_SYSTEMD_ANALYZE} verify --man=no
             ${check}/vantoro-content-server.service ${check}/vantoro-content-server@8081.service)
    # Unknown or malformed settings are only warned about and ignored.
    set_tests_properties(service_unit_valid PROPERTIES
                         FAIL_REGULAR_EXPRESSION "[Uu]nknown|ignoring|[Ff]ailed|not executable")
  endif()
endif()
