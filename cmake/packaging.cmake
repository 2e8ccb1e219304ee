include(GNUInstallDirs)
install(TARGETS iosort RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (CPack's, or cmake --install --strip) also drops what
# Debian's dh_strip drops and plain strip keeps: .comment, which names the
# compiler of every object linked in, and .note.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\"
        --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:iosort>\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endif()

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
set(CPACK_PACKAGE_DESCRIPTION [[
A console program that holds I/O requests, each with a random base
priority from 0 to 99 and a label, and orders them by an effective
priority of 100 minus the base, highest base first, equal ones keeping
their order. A numbered menu read from standard input builds ten
requests, sorts and displays them; iosort -test runs eight built-in
checks of the list and the sort, one on 30000 requests, and prints a
coloured verdict.]])

# The documents Debian asks of every package, in its formats: the changelog,
# whose newest entry is the release being built, and the copyright file,
# made from LICENSE so that the licence is written once.
configure_file(packaging/changelog.in changelog @ONLY)
install_gzipped(${CMAKE_CURRENT_BINARY_DIR}/changelog ${CMAKE_INSTALL_DOCDIR})

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
set(copyright_holder "${CMAKE_MATCH_1}")
string(FIND "${license}" "Permission is hereby granted" grant_at)
if(NOT copyright_holder OR grant_at LESS 0)
  message(FATAL_ERROR "LICENSE no longer reads as the MIT licence that "
                      "cmake/packaging.cmake copies into Debian's copyright file")
endif()
string(SUBSTRING "${license}" ${grant_at} -1 license_text)
string(STRIP "${license_text}" license_text)
# A field's continuation lines start with a space, and an empty one is " .".
string(REPLACE "\n" "\n " license_text " ${license_text}")
string(REPLACE "\n \n" "\n .\n" license_text "${license_text}")
file(CONFIGURE OUTPUT copyright @ONLY CONTENT [[
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: @PROJECT_NAME@
Upstream-Contact: @CPACK_PACKAGE_CONTACT@

Files: *
Copyright: @copyright_holder@
License: Expat
@license_text@
]])
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

# `cpack --config CPackSourceConfig.cmake` makes iosort-<version>.tar.gz of
# the source tree less what git ignores and git itself, the build directory
# above all. CI checks that it holds exactly the files git tracks.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION})
set(CPACK_VERBATIM_VARIABLES ON)
string(REGEX REPLACE "([][+.*?^$()|\\])" "\\\\\\1" source_re "${CMAKE_CURRENT_SOURCE_DIR}")
set(CPACK_SOURCE_IGNORE_FILES
  "^${source_re}/\\.git(/|$)"
  "^${source_re}/build[^/]*/"
  "^${source_re}/out/"
  "/compile_commands\\.json$"
  "\\.profraw$"
  "/(crash|leak|timeout|oom)-[^/]*$"
  "^${source_re}/CMakeUserPresets\\.json$")
if(NOT CMAKE_CURRENT_BINARY_DIR STREQUAL CMAKE_CURRENT_SOURCE_DIR)
  string(REGEX REPLACE "([][+.*?^$()|\\])" "\\\\\\1" binary_re "${CMAKE_CURRENT_BINARY_DIR}")
  list(APPEND CPACK_SOURCE_IGNORE_FILES "^${binary_re}/")
endif()
include(CPack)
