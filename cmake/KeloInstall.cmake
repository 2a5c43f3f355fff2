# Install layout (GNUInstallDirs), the manual page of kelo-cli and the Debian package.
#   bin/kelo, bin/kelo-cli
#   share/kelo/help/        help pages; the programs find them at ../share/kelo/help from their own folder
#   share/applications/     kelo.desktop ("Open with Kelo" for DV AVI, raw DV and QuickTime files)
#   share/icons/hicolor/scalable/apps/kelo.svg
#   share/man/man1/kelo-cli.1
include(GNUInstallDirs)

set(KELO_HELP_SOURCE ${PROJECT_SOURCE_DIR}/share/help)

# The build tree has the installed layout too, so programs run from build/bin find their help.
add_custom_target(kelo_help_pages ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${KELO_HELP_SOURCE} ${CMAKE_BINARY_DIR}/share/kelo/help
  COMMENT "help pages into share/kelo/help")

# Everything the install rules take, so a package needs no full build (tests, benchmarks).
add_custom_target(kelo_installed_parts)
add_dependencies(kelo_installed_parts kelo-cli kelo_help_pages)

install(TARGETS kelo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kelo)
  add_dependencies(kelo_installed_parts kelo)
  install(TARGETS kelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/kelo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/kelo.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(DIRECTORY ${KELO_HELP_SOURCE}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelo/help)

# kelo-cli(1) from the program's own help texts: help2man over `kelo-cli --help`, with every
# subcommand's help as a section of its own.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(_man ${CMAKE_BINARY_DIR}/kelo-cli.1)
  add_custom_command(OUTPUT ${_man}
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:kelo-cli> -DHELP2MAN=${HELP2MAN} -DOUT=${_man}
            -DEXTRA=${PROJECT_SOURCE_DIR}/packaging/kelo-cli.h2m -P ${PROJECT_SOURCE_DIR}/cmake/KeloManPage.cmake
    DEPENDS kelo-cli ${PROJECT_SOURCE_DIR}/cmake/KeloManPage.cmake ${PROJECT_SOURCE_DIR}/packaging/kelo-cli.h2m
    COMMENT "kelo-cli.1")
  add_custom_target(kelo_man_page ALL DEPENDS ${_man})
  add_dependencies(kelo_installed_parts kelo_man_page)
  install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual page")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kelo developers <kelo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "burns the recording date and time of DV camcorder footage into the picture")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Kelo reads the recording date and time a DV camcorder stored in every frame and draws them into the\n"
  "picture, re-encoding only the DV blocks under the text. It comes as a Chinese-language desktop\n"
  "program (kelo) and a command-line tool for scripts (kelo-cli).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Built with debug information for the developers; shipped without it.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# Library dependencies come from the binaries themselves (dpkg-shlibdeps); fonts are data.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg, parallel")
include(CPack)
