# SPDX-License-Identifier: MIT
# Packaging as cpack runs it, before it packs and after, for what CPack 3.25
# cannot do itself to make the same package twice; configure-time.cmake
# beside this file sets it up. Time stamps: the release date's, unless the
# caller chose one.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_IOSORT_SOURCE_DATE_EPOCH})
endif()
# CPack's source package has its members in the file system's order, with
# the modes of the umask the tree was checked out under.
if(CPACK_INSTALLED_DIRECTORIES)
  message(FATAL_ERROR "The source tarball is made by `cmake --build <build directory> --target dist`.")
endif()
# CPack 3.25 globs the tree it stages: under a path that holds [, * or ? it
# would make a package without a file and say nothing.
if(CPACK_PACKAGE_DIRECTORY MATCHES "[[*?]")
  message(FATAL_ERROR "CPack cannot pack under ${CPACK_PACKAGE_DIRECTORY}: "
                      "build where the path holds no [, * or ?.")
endif()
# CPack gives the .deb's ar members the modes of the umask, and adds each
# directory's size on the build's file system (4096 bytes on ext4) to
# Installed-Size. dpkg-deb packs it again, its ar members 0644, and
# Installed-Size is counted as dpkg-gencontrol does: 1 KiB a directory, and
# each file's size rounded up to KiB.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/repack)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${tree} ${tree}/*)
  list(FILTER entries EXCLUDE REGEX "^DEBIAN(/|$)")
  set(kib 0)
  foreach(entry IN LISTS entries)
    set(size 1)
    if(NOT IS_DIRECTORY ${tree}/${entry})
      file(SIZE ${tree}/${entry} size)
    endif()
    math(EXPR kib "${kib} + (${size} + 1023) / 1024")
  endforeach()
  file(READ ${tree}/DEBIAN/control control)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" control "${control}")
  file(WRITE ${tree}/DEBIAN/control "${control}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# CPack's zip has its members in the file system's order, DOS times in the
# local time zone, and its packer's user and group ids. It is packed again
# from the staged tree, whose modes install() set: members in name order,
# times SOURCE_DATE_EPOCH's in UTC, and, under fakeroot, owner and group 0.
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  if(NOT zip MATCHES "\\.zip$")
    continue()
  endif()
  find_program(IOSORT_FAKEROOT fakeroot)
  if(NOT IOSORT_FAKEROOT)
    message(FATAL_ERROR "The zip needs fakeroot (Debian: apt-get install fakeroot), "
                        "for the same owner ids whoever packs it.")
  endif()
  get_filename_component(top ${CPACK_TEMPORARY_DIRECTORY} DIRECTORY)
  file(GLOB_RECURSE members RELATIVE ${top} ${CPACK_TEMPORARY_DIRECTORY}/*)
  list(SORT members)
  file(REMOVE ${zip})
  execute_process(COMMAND ${IOSORT_FAKEROOT} -- ${CMAKE_COMMAND} -E env TZ=UTC
    ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip -- ${members}
    WORKING_DIRECTORY ${top} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
