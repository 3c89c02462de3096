# The Debian package of the node and its tools, built by CPack:
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
#   cmake --build build-release --target package
# It holds everything `cmake --install` installs plus the copyright file and changelog; its
# maintainer scripts add the `gullwick` system user the unit runs as, restart running instances
# on upgrade and take the user and the instances' enable links away on purge.
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
  DESTINATION ${GULLWICK_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gullwick)
set(CPACK_PACKAGE_VENDOR "Gullwick")
set(CPACK_PACKAGE_CONTACT ${GULLWICK_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "packet-radio message node with its ping library and test tools
brevane is a message node for packet radio: radio users connect to it through a
TNC on a serial port or a sound-card modem program (AGW), and list, read, send
and kill short messages held on an Internet message server.
.
The package holds the node (run headless as the systemd service brevane@N, as
the system user gullwick), its private ping library, and the tools used to test
it: the reference message server smsd, the TNC simulator tncsim and pingreg.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The maintainer scripts need these; the libraries (Qt, libmicrohttpd, SQLite) come from the
# shared-library scan, and libmicrohttpd-dev is among the build packages of scripts/deps.sh.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, passwd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${GULLWICK_DEBIAN}/postinst ${GULLWICK_DEBIAN}/prerm ${GULLWICK_DEBIAN}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
