# SPDX-License-Identifier: MIT
# Packaging as CMake configures it: what `cmake --install` puts in place, the
# packages CPack is to make of it, and the `dist` tarball. What cpack itself
# must do while it packs is in packaging/pack-time.cmake beside this file.
include(GNUInstallDirs)
# On Windows, one folder: the program beside its documents, no man page.
if(WIN32)
  set(CMAKE_INSTALL_BINDIR .)
  set(CMAKE_INSTALL_DOCDIR .)
endif()
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

# The man page and Debian's changelog go in gzipped, with gzip -n: no name or
# time in the header (CMake's own gzip writes the time). Without gzip, as is.
find_program(IOSORT_GZIP gzip)
function(install_gzipped file destination)
  if(IOSORT_GZIP)
    execute_process(COMMAND ${IOSORT_GZIP} -9 -n -k -f ${file} COMMAND_ERROR_IS_FATAL ANY)
    set(file ${file}.gz)
  endif()
  install(FILES ${file} DESTINATION ${destination} ${ARGN})
endfunction()

if(NOT WIN32)
  configure_file(man/iosort.1.in iosort.1 @ONLY)
  install_gzipped(${CMAKE_CURRENT_BINARY_DIR}/iosort.1 ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# LICENSE is a component of its own, which the Debian package leaves out for
# the copyright file below.
install(FILES README.md NEWS.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)

# The packages are this project's own, not a parent's.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()

set(CPACK_PACKAGE_CONTACT
  "iosort maintainers <maintainers@users.noreply.c-seed-ce1d0a5a.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "keep a list of I/O requests and order them by priority")
set(CPACK_PACKAGE_DESCRIPTION [[
A console program that orders I/O requests by priority, highest base
priority first, equal ones keeping their order. A menu builds ten random
requests, sorts and displays them; iosort -test runs eight built-in checks
of the list and the sort, one on 30000 requests.]])

# A YYYY-MM-DD date as seconds since 1970 (its midnight, UTC) and as Debian's
# changelog writes it. Counting years from March puts the leap day last.
function(iosort_date date epoch_var debian_var)
  string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" _ "${date}")
  math(EXPR y "${CMAKE_MATCH_1} - (14 - ${CMAKE_MATCH_2}) / 12")
  math(EXPR days "${y} * 365 + ${y} / 4 - ${y} / 100 + ${y} / 400 - 719469
                  + (153 * ((${CMAKE_MATCH_2} + 9) % 12) + 2) / 5 + ${CMAKE_MATCH_3}")
  math(EXPR epoch "${days} * 86400")
  math(EXPR weekday "(${days} + 4) % 7 * 3")
  math(EXPR month "(${CMAKE_MATCH_2} - 1) * 3")
  string(SUBSTRING "SunMonTueWedThuFriSat" ${weekday} 3 weekday)
  string(SUBSTRING "JanFebMarAprMayJunJulAugSepOctNovDec" ${month} 3 month)
  set(${epoch_var} ${epoch} PARENT_SCOPE)
  set(${debian_var} "${weekday}, ${CMAKE_MATCH_3} ${month} ${CMAKE_MATCH_1} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# Debian's documents, for its package alone: `cmake --install` leaves out the
# component debian. The changelog is NEWS.md's newest entry in Debian's form.
file(READ NEWS.md news)
string(REGEX MATCH "\n## [^\n]*\n\n(.*)" _ "${news}")
string(FIND "${CMAKE_MATCH_1}\n## " "\n## " end)
string(SUBSTRING "${CMAKE_MATCH_1}" 0 ${end} entry)
string(STRIP "\n${entry}" entry)
string(REPLACE "`" "" entry "${entry}")
string(REPLACE "\n  " "\n    " entry "${entry}")
string(REPLACE "\n- " "\n  * " entry "${entry}")
string(REGEX REPLACE "^- " "" entry "${entry}")
iosort_date(${IOSORT_RELEASE_DATE} _ date)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/changelog
  "${PROJECT_NAME} (${PROJECT_VERSION}) unstable; urgency=medium\n\n  * ${entry}\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
install_gzipped(${CMAKE_CURRENT_BINARY_DIR}/changelog ${CMAKE_INSTALL_DOCDIR}
  COMPONENT debian EXCLUDE_FROM_ALL)

# Debian's copyright file is LICENSE in Debian's machine-readable format.
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT debian EXCLUDE_FROM_ALL)

# `cpack -G DEB` in the build directory makes iosort_<version>_<arch>.deb of
# all the components but license, under /usr. It comes out the same byte for
# byte whoever builds it, wherever, whenever and under whatever umask:
# directories 0755, time stamps the release date's, and pack-time.cmake for
# what CPack does not do itself.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE
  OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
iosort_date(${IOSORT_RELEASE_DATE} CPACK_IOSORT_SOURCE_DATE_EPOCH _)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/packaging/pack-time.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CPACK_PROJECT_CONFIG_FILE})
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)

# `cmake --build build --target dist` writes iosort-<version>.tar.gz of the
# commit checked out: what git tracks, in git's order, with modes 0644 and
# 0755 and the commit's time, whatever the checkout's file system and umask.
add_custom_target(dist
  COMMAND git -c tar.umask=0022 archive --prefix=${PROJECT_NAME}-${PROJECT_VERSION}/
    -o ${CMAKE_CURRENT_BINARY_DIR}/${PROJECT_NAME}-${PROJECT_VERSION}.tar.gz HEAD
  WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} VERBATIM)
