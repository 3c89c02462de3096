# The Debian packages of the node and its tools, built by CPack:
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
#   cmake --build build-release --target package
# `gullwick` holds the headless node, its ping library and tools, and needs no widget or GUI
# library; `gullwick-gui` holds the windows (install component `gui`). Each carries the
# copyright file and changelog. The node package's maintainer scripts add the `gullwick`
# system user the unit runs as, restart running instances on upgrade and take the user and
# the instances' enable links away on purge.
set(GULLWICK_MAINTAINER "Gullwick developers <gullwick@example.org>"
  CACHE STRING "The package's Maintainer field (name <address>)")
set(GULLWICK_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/gullwick)
set(GULLWICK_DEBIAN ${CMAKE_CURRENT_LIST_DIR}/../packaging/debian)

# The changelog's newest entry names the version being packaged; a release bumps both.
file(STRINGS ${GULLWICK_DEBIAN}/changelog GULLWICK_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT GULLWICK_CHANGELOG_TOP MATCHES "^gullwick \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not start with version ${PROJECT_VERSION}")
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nc ${GULLWICK_DEBIAN}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${GULLWICK_DEBIAN}/changelog VERBATIM)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${GULLWICK_DEBIAN}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${GULLWICK_DOCDIR})
install(FILES ${GULLWICK_DEBIAN}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/gullwick-gui COMPONENT gui)
# What lintian reports that is not so, each with its reason.
install(FILES ${GULLWICK_DEBIAN}/gullwick.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME gullwick)
install(FILES ${GULLWICK_DEBIAN}/gullwick-gui.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME gullwick-gui COMPONENT gui)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL node gui)
set(CPACK_PACKAGE_NAME gullwick)
set(CPACK_PACKAGE_VENDOR "Gullwick")
set(CPACK_PACKAGE_CONTACT ${GULLWICK_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE gullwick)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries each package needs come from the shared-library scan of its own files.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_NODE_PACKAGE_NAME gullwick)
set(CPACK_DEBIAN_NODE_DESCRIPTION
  "packet-radio message node with its ping library and test tools
brevane is a message node for packet radio: radio users connect to it through a
TNC on a serial port (host mode, TNC2 or KISS) or a sound-card modem program
(AGW or KISS), and list, read, send and kill short messages held on an
Internet message server.
.
The package holds the node (run headless as the systemd service brevane@N, as
the system user gullwick), its private ping library, and the tools used to test
it: the reference message server smsd, the TNC simulator tncsim and pingreg.
It needs no display; the node's windows are in gullwick-gui.")
# The maintainer scripts need these.
set(CPACK_DEBIAN_NODE_PACKAGE_DEPENDS "adduser, passwd")
set(CPACK_DEBIAN_NODE_PACKAGE_CONTROL_EXTRA
  ${GULLWICK_DEBIAN}/postinst ${GULLWICK_DEBIAN}/prerm ${GULLWICK_DEBIAN}/postrm)

set(CPACK_DEBIAN_GUI_PACKAGE_NAME gullwick-gui)
set(CPACK_DEBIAN_GUI_DESCRIPTION
  "packet-radio message node - windows
brevane is a message node for packet radio: radio users connect to it through a
TNC on a serial port (host mode, TNC2 or KISS) or a sound-card modem program
(AGW or KISS), and list, read, send and kill short messages held on an
Internet message server.
.
This package holds the node's windows: the main window with the connections,
the monitor and the sysop console, and the setup window. brevane opens them
when it starts on a display.")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "gullwick (= ${PROJECT_VERSION})")
include(CPack)
