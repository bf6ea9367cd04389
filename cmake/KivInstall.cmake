# Install layout (`cmake --install`, and the Debian packages made from it):
#   bin/undelia-cli, bin/Undelia         symbolic links into the private folder
#   lib/undelia/                         the real programs, the libraries they load from their own
#                                        folder, the ini files, CustomFileScript/, res/
#   share/man/man1/                      the manual pages
#   share/doc/undelia-cli/               the command-line program's HTML manual, the report schema,
#                                        copyright, changelog
#   share/doc/undelia/                   the desktop program's HTML manual, copyright, changelog
#   share/applications/, share/icons/    the desktop program's menu entry and icon
# The programs find their folder through /proc/self/exe, which names the link's target, so the
# libraries beside the real executables are found whichever way the programs are started.
# Every rule names its component: "cli" (the command-line program and everything it needs: the
# Debian package undelia-cli, no Qt) or "desktop" (the desktop program: the package undelia,
# which depends on undelia-cli for the libraries and data they share).
include(GNUInstallDirs)
set(KIV_INSTALL_PRIVATE_DIR lib/undelia)
set(KIV_INSTALL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/undelia-cli)
set(KIV_INSTALL_DESKTOP_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/undelia)

# The programs that get a link in bin/ (the desktop program once its target exists).
set(KIV_INSTALL_PROGRAMS undelia-cli)
if(TARGET Undelia)
  list(APPEND KIV_INSTALL_PROGRAMS Undelia)
endif()

# The component of each program, its manual page and its documentation folder.
set(KIV_COMPONENT_undelia-cli cli)
set(KIV_COMPONENT_Undelia desktop)
set(KIV_DOC_DIR_cli ${KIV_INSTALL_DOC_DIR})
set(KIV_DOC_DIR_desktop ${KIV_INSTALL_DESKTOP_DOC_DIR})

foreach(p ${KIV_INSTALL_PROGRAMS})
  install(TARGETS ${p} RUNTIME DESTINATION ${KIV_INSTALL_PRIVATE_DIR} COMPONENT ${KIV_COMPONENT_${p}})
endforeach()
install(TARGETS KivScanDev KivEnumDevEx KivFilter KivSrvConnector LIBRARY DESTINATION ${KIV_INSTALL_PRIVATE_DIR}
        COMPONENT cli)
install(FILES ${KIV_DATA_INI} ${PROJECT_SOURCE_DIR}/data/packaging/KivInstalled.ini
        DESTINATION ${KIV_INSTALL_PRIVATE_DIR} COMPONENT cli)
install(DIRECTORY ${KIV_OUT_DIR}/CustomFileScript DESTINATION ${KIV_INSTALL_PRIVATE_DIR} COMPONENT cli)
# The desktop program's skin, manual and window icon, beside it.
if(TARGET Undelia)
  install(DIRECTORY ${KIV_OUT_DIR}/res DESTINATION ${KIV_INSTALL_PRIVATE_DIR} COMPONENT desktop)
  install(FILES ${KIV_OUT_DIR}/help.html ${KIV_OUT_DIR}/undelia.svg DESTINATION ${KIV_INSTALL_PRIVATE_DIR}
          COMPONENT desktop)
endif()

set(_links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_links})
foreach(p ${KIV_INSTALL_PROGRAMS})
  file(CREATE_LINK ../${KIV_INSTALL_PRIVATE_DIR}/${p} ${_links}/${p} SYMBOLIC)
  install(FILES ${_links}/${p} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${KIV_COMPONENT_${p}})
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
set(_all_man_files)
foreach(page ${KIV_MAN_PAGES})
  configure_file(${PROJECT_SOURCE_DIR}/doc/man/${page}.1 ${_man_out}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${_man_out}/${page}.1.gz
                     COMMAND ${KIV_GZIP} -9 -n -c ${_man_out}/${page}.1 > ${_man_out}/${page}.1.gz
                     DEPENDS ${_man_out}/${page}.1 VERBATIM)
  list(APPEND _all_man_files ${_man_out}/${page}.1.gz)
  set(_component ${KIV_COMPONENT_${page}})
  install(FILES ${_man_out}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${_component})
  if(KIV_GROFF)
    add_custom_command(OUTPUT ${_html_out}/${page}.html
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${_html_out}
                       COMMAND ${KIV_GROFF} -man -Thtml -P-l -P-r ${_man_out}/${page}.1 > ${_html_out}/${page}.html
                       DEPENDS ${_man_out}/${page}.1 VERBATIM)
    list(APPEND _all_man_files ${_html_out}/${page}.html)
    install(FILES ${_html_out}/${page}.html DESTINATION ${KIV_DOC_DIR_${_component}} COMPONENT ${_component})
  endif()
endforeach()
add_custom_target(kiv_manpages ALL DEPENDS ${_all_man_files})
if(NOT KIV_GROFF)
  message(STATUS "groff not found: the HTML manual is not built (scripts/setup installs it)")
endif()

# Debian's documentation files in each package's folder: copyright, and the changelog made from
# git's history when the packages are built (scripts/package).
set(_components cli)
if(TARGET Undelia)
  list(APPEND _components desktop)
endif()
set(KIV_PACKAGE_cli undelia-cli)
set(KIV_PACKAGE_desktop undelia)
foreach(c ${_components})
  install(FILES ${PROJECT_SOURCE_DIR}/data/packaging/copyright DESTINATION ${KIV_DOC_DIR_${c}} COMPONENT ${c})
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${KIV_DOC_DIR_${c}} COMPONENT ${c} OPTIONAL)
  # The HTML manual in the system's documentation index, and what lintian is told about the
  # package (the README explains each remark).
  if(KIV_GROFF)
    install(FILES ${PROJECT_SOURCE_DIR}/data/packaging/doc-base/${KIV_PACKAGE_${c}}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base COMPONENT ${c})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/data/packaging/lintian-overrides/${KIV_PACKAGE_${c}}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${c})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/doc/recovery-report.schema.json DESTINATION ${KIV_INSTALL_DOC_DIR} COMPONENT cli)

if(TARGET Undelia)
  install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/undelia.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT desktop)
  install(FILES ${PROJECT_SOURCE_DIR}/data/res/undelia.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT desktop)
endif()

include(${PROJECT_SOURCE_DIR}/cmake/KivPackage.cmake)
