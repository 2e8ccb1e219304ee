include(GNUInstallDirs)
install(TARGETS iosort RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages and Debian's changelog are kept gzipped. gzip -n leaves the name
# and time stamp out of the header, so that the same text gives the same
# bytes whenever it is built (CMake's own gzip writes the time). gzip is
# everywhere Debian is; without it the file goes in uncompressed.
find_program(IOSORT_GZIP gzip)
function(install_gzipped file destination)
  if(IOSORT_GZIP)
    execute_process(COMMAND ${IOSORT_GZIP} -9 -n -k -f ${file} COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${file}.gz DESTINATION ${destination})
  else()
    install(FILES ${file} DESTINATION ${destination})
  endif()
endfunction()

# The page's header names the project's version.
configure_file(man/iosort.1.in iosort.1 @ONLY)
install_gzipped(${CMAKE_CURRENT_BINARY_DIR}/iosort.1 ${CMAKE_INSTALL_MANDIR}/man1)

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
