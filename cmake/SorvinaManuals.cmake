# SPDX-License-Identifier: GPL-3.0-or-later
# Manual pages: sorvina-cli's is written by help2man from its own --help and --version at
# build time, so that every option is in it the moment the program declares it; the
# wizard's is written by hand. Both are installed compressed, as Debian wants them.
include(GNUInstallDirs)

find_program(SORVINA_HELP2MAN help2man)
if(NOT SORVINA_HELP2MAN)
  message(FATAL_ERROR "help2man writes the manual page of sorvina-cli and is not installed "
    "(Debian package help2man; scripts/setup installs it)")
endif()
find_program(SORVINA_GZIP gzip REQUIRED)

# The month and year a manual page gives, as help2man does (SOURCE_DATE_EPOCH, when set,
# keeps a rebuild identical).
string(TIMESTAMP SORVINA_MANUAL_DATE "%B %Y")

# Compresses the manual page PAGE (a file of the build tree) as a build step of the new
# target TARGET and installs it in section 1.
function(sorvina_install_manual target page)
  add_custom_command(OUTPUT "${page}.gz"
    COMMAND "${SORVINA_GZIP}" -9nkf "${page}"
    DEPENDS "${page}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${page}.gz")
  install(FILES "${page}.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
