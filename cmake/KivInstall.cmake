# Install layout (`cmake --install`, and the Debian package made from it):
#   bin/undelia-cli, bin/Undelia         symbolic links into the private folder
#   lib/undelia/                         the real programs, the libraries they load from their own
#                                        folder, the ini files, CustomFileScript/, res/
#   share/man/man1/                      the manual pages
#   share/doc/undelia/                   the HTML manual, copyright, changelog
#   share/applications/, share/icons/    the desktop program's menu entry and icon
# The programs find their folder through /proc/self/exe, which names the link's target, so the
# libraries beside the real executables are found whichever way the programs are started.
include(GNUInstallDirs)
set(KIV_INSTALL_PRIVATE_DIR lib/undelia)
set(KIV_INSTALL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/undelia)

# The programs that get a link in bin/ (the desktop program once its target exists).
set(KIV_INSTALL_PROGRAMS undelia-cli)
if(TARGET Undelia)
  list(APPEND KIV_INSTALL_PROGRAMS Undelia)
endif()

install(TARGETS ${KIV_INSTALL_PROGRAMS} RUNTIME DESTINATION ${KIV_INSTALL_PRIVATE_DIR})
install(TARGETS KivScanDev KivEnumDevEx KivFilter KivSrvConnector LIBRARY DESTINATION ${KIV_INSTALL_PRIVATE_DIR})
install(FILES ${KIV_DATA_INI} ${PROJECT_SOURCE_DIR}/data/packaging/KivInstalled.ini
        DESTINATION ${KIV_INSTALL_PRIVATE_DIR})
install(DIRECTORY ${KIV_OUT_DIR}/CustomFileScript DESTINATION ${KIV_INSTALL_PRIVATE_DIR})
# The desktop program's skin, manual and window icon, beside it.
if(TARGET Undelia)
  install(DIRECTORY ${KIV_OUT_DIR}/res DESTINATION ${KIV_INSTALL_PRIVATE_DIR})
  install(FILES ${KIV_OUT_DIR}/help.html ${KIV_OUT_DIR}/undelia.svg DESTINATION ${KIV_INSTALL_PRIVATE_DIR})
endif()

set(_links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_links})
foreach(p ${KIV_INSTALL_PROGRAMS})
  file(CREATE_LINK ../${KIV_INSTALL_PRIVATE_DIR}/${p} ${_links}/${p} SYMBOLIC)
  install(FILES ${_links}/${p} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# Manual pages: roff sources in doc/man/ with the version and folders filled in, compressed as
# Debian wants them; the HTML manual is rendered from the same sources when groff can.
find_program(KIV_GZIP gzip REQUIRED)
find_program(KIV_GROFF groff)
set(KIV_MAN_PAGES undelia-cli)
if(TARGET Undelia)
  list(APPEND KIV_MAN_PAGES Undelia)
endif()
set(UNDELIA_VERSION ${PROJECT_VERSION})
set(UNDELIA_PRIVATE_DIR ${CMAKE_INSTALL_PREFIX}/${KIV_INSTALL_PRIVATE_DIR})
set(UNDELIA_DOC_DIR ${CMAKE_INSTALL_PREFIX}/${KIV_INSTALL_DOC_DIR})
set(_man_out ${CMAKE_BINARY_DIR}/man)
set(_html_out ${CMAKE_BINARY_DIR}/html)
set(_man_files)
set(_html_files)
foreach(page ${KIV_MAN_PAGES})
  configure_file(${PROJECT_SOURCE_DIR}/doc/man/${page}.1 ${_man_out}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${_man_out}/${page}.1.gz
                     COMMAND ${KIV_GZIP} -9 -n -c ${_man_out}/${page}.1 > ${_man_out}/${page}.1.gz
                     DEPENDS ${_man_out}/${page}.1 VERBATIM)
  list(APPEND _man_files ${_man_out}/${page}.1.gz)
  if(KIV_GROFF)
    add_custom_command(OUTPUT ${_html_out}/${page}.html
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${_html_out}
                       COMMAND ${KIV_GROFF} -man -Thtml -P-l -P-r ${_man_out}/${page}.1 > ${_html_out}/${page}.html
                       DEPENDS ${_man_out}/${page}.1 VERBATIM)
    list(APPEND _html_files ${_html_out}/${page}.html)
  endif()
endforeach()
add_custom_target(kiv_manpages ALL DEPENDS ${_man_files} ${_html_files})
install(FILES ${_man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(_html_files)
  install(FILES ${_html_files} DESTINATION ${KIV_INSTALL_DOC_DIR})
else()
  message(STATUS "groff not found: the HTML manual is not built (scripts/setup installs it)")
endif()

# Debian's documentation files: copyright, and the changelog made from git's history when the
# package is built (scripts/package).
install(FILES ${PROJECT_SOURCE_DIR}/data/packaging/copyright ${PROJECT_SOURCE_DIR}/doc/recovery-report.schema.json
        DESTINATION ${KIV_INSTALL_DOC_DIR})
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${KIV_INSTALL_DOC_DIR} OPTIONAL)

if(TARGET Undelia)
  install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/undelia.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/res/undelia.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

include(${PROJECT_SOURCE_DIR}/cmake/KivPackage.cmake)
