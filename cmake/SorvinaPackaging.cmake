# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in a build tree packs what `cmake --install` puts
# under /usr, and dpkg-shlibdeps works out the library packages (Qt 6, TagLib, the C++
# runtime) that the executables need, so the Depends line follows the libraries we link.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME sorvina)
set(CPACK_PACKAGE_VENDOR "Sorvina developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# The package needs a contact; the project has no maintainer address yet, and says so
# rather than give one that reaches nobody.
set(CPACK_PACKAGE_CONTACT "Sorvina developers (no maintainer address yet)")
set(CPACK_PACKAGE_HOMEPAGE_URL "${SORVINA_SITE}/sorvina/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "fill a music player or a playlist with a random choice of MP3 files")
# Debian shows the long description as it is written: lines kept under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Sorvina picks MP3 files at random from music folders and playlists, gives\n"
  "some folders more or less weight on request, and stops at a number of\n"
  "megabytes or hours. It copies the chosen files onto a portable player\n"
  "without overwriting anything silently, or writes an extended M3U playlist\n"
  "with playing times and artist and title captions.\n"
  "\n"
  "It comes as a desktop wizard (sorvina) and a command-line program\n"
  "(sorvina-cli) that share one settings file format.")

# Who holds the copyright and the licence, in Debian's machine-readable form, where
# package tools look for them.
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in
  ${CMAKE_BINARY_DIR}/packaging/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sorvina)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME sorvina)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# A source archive made from a working tree leaves out build trees and the history.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/bench/out/" "/\\\\.cache/")

include(CPack)
