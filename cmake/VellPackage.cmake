# The Debian package: `cpack -G DEB` in a build folder configured with the prefix /usr (the
# unit and the bus activation file name the configured prefix's programs).
# dpkg-shlibdeps finds the shared libraries the programs load (Qt 6, SQLite, OpenSSL,
# libsecret); what they run or load by name is listed here.
set(CPACK_PACKAGE_NAME vellssh)
set(CPACK_PACKAGE_VENDOR "VellSSH")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop manager for SSH tunnels")
set(CPACK_PACKAGE_DESCRIPTION
    "VellSSH keeps a library of SSH tunnel profiles with their forwardings, and runs each
tunnel through the stock OpenSSH client under supervision: every tunnel reports its
progress, keeps a connection log and reconnects by itself when it drops.
.
The package holds the desktop application (vellssh), which also runs without a window as a
systemd user service (vellssh --headless), and the command-line client vellssh-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VellSSH developers <maintainers@vellssh.io>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "openssh-client, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "dbus-user-session | dbus-session-bus, gnome-keyring, libqt6svg6, xdg-utils")
include(CPack)
