# SPDX-License-Identifier: MIT
# Hardening where the toolchain has it. A feature named at all in a packager's
# flags (CXXFLAGS, LDFLAGS, CMAKE_*_FLAGS) is left to them: the build never
# fights dpkg-buildflags. No -fcf-protection: it protects only a program whose
# every part is marked, and Debian 12's C start files are not. The sanitizer
# builds go without: the fortified string functions hide accesses from ASan.
if(NOT IOSORT_HARDENING OR IOSORT_SANITIZE OR IOSORT_FUZZ)
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
set(packager_compile_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${build_type}}")
set(packager_link_flags "${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${build_type}}")

if(NOT packager_compile_flags MATCHES "-f(no-)?stack-protector")
  check_cxx_compiler_flag(-fstack-protector-strong IOSORT_HAVE_STACK_PROTECTOR_STRONG)
  if(IOSORT_HAVE_STACK_PROTECTOR_STRONG)
    # At the link too, where a libc without its own guard needs libssp.
    target_compile_options(iosort_options INTERFACE -fstack-protector-strong)
    target_link_options(iosort_options INTERFACE -fstack-protector-strong)
  endif()
endif()

# glibc's checked functions need the optimiser. -U first: some compilers
# define it themselves.
if(NOT packager_compile_flags MATCHES "_FORTIFY_SOURCE")
  target_compile_options(iosort_options INTERFACE
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()

# Full RELRO: the GOT read-only once BIND_NOW (-z now) has resolved it.
# Each keyword goes in unless the packager's flags set it or its opposite.
function(link_with_z keyword packager_pattern)
  if(packager_link_flags MATCHES "-z[ ,]*(${packager_pattern})")
    return()
  endif()
  check_linker_flag(CXX "LINKER:-z,${keyword}" IOSORT_HAVE_Z_${keyword})
  if(IOSORT_HAVE_Z_${keyword})
    target_link_options(iosort_options INTERFACE "LINKER:-z,${keyword}")
  endif()
endfunction()
link_with_z(relro "relro|norelro")
link_with_z(now "now|lazy")
