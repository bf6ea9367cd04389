# The Debian package: `cpack -G DEB` in a build folder configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package does it all and runs lintian).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME undelia)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Undelia developers")
set(CPACK_PACKAGE_CONTACT "Undelia developers <undelia-devel@undelia.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and recover deleted and lost files")
# The extended description alone: CPack puts the summary above it and indents it, an empty line
# becoming the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Undelia finds deleted and lost files on disks, partitions, memory cards and
disk images and copies them out with their names, folders and times. It
rebuilds FAT12, FAT16, FAT32, exFAT and NTFS directory trees, deleted entries
and lost folders included, and carves about fifty file formats by content.

The medium is read once and never written. Damaged or unreadable files are
reported with their reason, never handed back as if they were sound.
")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Raw disks without running as root go through udisks2; ddrescue images failing media first.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "udisks2, gddrescue")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
