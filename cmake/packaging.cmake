include(GNUInstallDirs)
install(TARGETS iosort RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The man page goes out gzipped, as Debian keeps man pages. CMake compresses
# it itself, so no gzip tool is needed, and does so again when it changes.
set(man_page ${CMAKE_CURRENT_SOURCE_DIR}/man/iosort.1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${man_page})
file(ARCHIVE_CREATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/iosort.1.gz
  PATHS ${man_page} FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/iosort.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# `cpack -G DEB` in the build directory makes iosort_<version>_<arch>.deb of
# what the rules above install, under /usr.
set(CPACK_PACKAGE_CONTACT
  "iosort maintainers <maintainers@users.noreply.c-seed-ce1d0a5a.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "keep a list of I/O requests and order them by priority")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
