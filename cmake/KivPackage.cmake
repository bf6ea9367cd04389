# The Debian packages: `cpack -G DEB` in a build folder configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package does it all and runs lintian). One package per
# install component: undelia-cli (the command-line program, the libraries and the data files; no
# Qt) and, when the desktop program is built, undelia (the desktop program, depending on
# undelia-cli of the same version for everything they share).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME undelia)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Undelia developers")
set(CPACK_PACKAGE_CONTACT "Undelia developers <undelia-devel@undelia.invalid>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(TARGET Undelia)
  list(APPEND CPACK_COMPONENTS_ALL desktop)
endif()
# The extended descriptions alone: CPack puts the summary above them and indents them, an empty
# line becoming the paragraph mark.
set(_kiv_about "Undelia finds deleted and lost files on disks, partitions, memory cards and
disk images and copies them out with their names, folders and times. It
rebuilds FAT12, FAT16, FAT32, exFAT and NTFS directory trees, deleted entries
and lost folders included, and carves about fifty file formats by content.

The medium is read once and never written. Damaged or unreadable files are
reported with their reason, never handed back as if they were sound.
")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME undelia-cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION "find and recover deleted and lost files (command line)
${_kiv_about}
This package holds the command-line program undelia-cli and the libraries and
data files the desktop program (package undelia) shares with it.
")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME undelia)
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "find and recover deleted and lost files (desktop program)
${_kiv_about}
This package holds the desktop program, a wizard from the choice of the disk
to the recovered files.
")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "undelia-cli (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs' own modules are loaded from their folder, not through the linker's search path.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Raw disks without running as root go through udisks2; ddrescue images failing media first.
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "udisks2, gddrescue")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SUGGESTS "udisks2, gddrescue")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
