# Debian packages, one per install component:
#   app    -> vantoro                 (the application, its browser-engine module, images, sounds)
#   server -> vantoro-content-server  (the stand-alone content server)
#   common -> vantoro-common          (strings and content, read by both)
# The application and its data are in section misc rather than games: Debian
# keeps games' executables in /usr/games, and both programs are in /usr/bin.
# Whatever else is installed into these components (desktop file, icons,
# manual pages, service unit) lands in the same packages.
# Build them with tools/build-packages.sh, which also compiles with Debian's
# hardening flags; `cpack -G DEB` in a plain release build gives packages
# without them.

set(VANTORO_DEB_MAINTAINER "Vantoro developers <maintainers@vantoro.example.com>")
set(VANTORO_DEB_RELEASE 1)

# Each package carries the Debian changelog and the machine-readable
# copyright file. The changelog is compressed without a name or time stamp
# so that two builds of the same sources give the same package.
find_program(VANTORO_GZIP gzip REQUIRED)
set(VANTORO_DEB_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(OUTPUT ${VANTORO_DEB_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${VANTORO_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${VANTORO_DEB_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(vantoro_deb_changelog ALL DEPENDS ${VANTORO_DEB_CHANGELOG})

foreach(pair IN ITEMS app:vantoro server:vantoro-content-server common:vantoro-common)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${VANTORO_DEB_CHANGELOG} ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
    COMPONENT ${component})
endforeach()

# Folders 0755 whatever the umask of whoever builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantoro)
set(CPACK_PACKAGE_VENDOR "Vantoro")
set(CPACK_PACKAGE_CONTACT ${VANTORO_DEB_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL app server common)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VANTORO_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VANTORO_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SOURCE vantoro)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from the libraries the binaries link, through dpkg-shlibdeps,
# plus the component dependencies below (vantoro-common at the same version).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_APP_PACKAGE_NAME vantoro)
set(CPACK_DEBIAN_APP_PACKAGE_SECTION misc)
set(CPACK_COMPONENT_APP_DEPENDS common)
set(CPACK_COMPONENT_APP_DESCRIPTION
  "blow-at-the-microphone lung test and smog game
Vantoro listens to the microphone and times a blow at it. The lung test turns
the blow into a lung capacity, the share of players beaten and a comment; the
smog game lets the blow clear a layer of animated smog. Two more tabs show
current air-quality topics and a city air-quality ranking from the content
server. Results can be shared with a screenshot and a landing-page link.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME vantoro-content-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_COMPONENT_SERVER_DEPENDS common)
set(CPACK_COMPONENT_SERVER_DESCRIPTION
  "web pages and analytics collector for Vantoro
The stand-alone content server of Vantoro: it serves the articles, the PM2.5
ranking and the share landing pages that the application shows, collects the
application's analytics reports into SQLite or a shared PostgreSQL database,
and gives the operator a dashboard at /admin.")

set(CPACK_DEBIAN_COMMON_PACKAGE_NAME vantoro-common)
set(CPACK_DEBIAN_COMMON_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_COMMON_PACKAGE_ARCHITECTURE all)
set(CPACK_COMPONENT_COMMON_DESCRIPTION
  "strings and sample content for Vantoro
The localised strings and the sample articles and PM2.5 ranking read by both
the Vantoro application and the Vantoro content server.")

include(CPack)
