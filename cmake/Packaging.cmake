# The Debian package of the node and its tools, built by CPack:
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
#   cmake --build build-release --target package
# It holds everything `cmake --install` installs; its maintainer scripts add and remove the
# `gullwick` system user that the systemd unit runs the node as.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gullwick)
set(CPACK_PACKAGE_VENDOR "Gullwick")
set(CPACK_PACKAGE_CONTACT "Gullwick developers <gullwick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Packet-radio message node (brevane) with its ping library and test tools")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The maintainer scripts need these; the libraries come from the shared-library scan.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/../packaging/debian/postinst
  ${CMAKE_CURRENT_LIST_DIR}/../packaging/debian/prerm
  ${CMAKE_CURRENT_LIST_DIR}/../packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
