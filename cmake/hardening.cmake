# Hardening for the build README gives, with each feature only where the
# compiler or linker has it. A packager's flags (CXXFLAGS, LDFLAGS, or the
# CMAKE_*_FLAGS variables) have the last word: a feature they name at all,
# to turn it on, off or to another level, is left to them, so the build
# never fights dpkg-buildflags or a distribution's own choice.
#
# The sanitizer builds go without: ASan checks every access that these
# checks would, and the fortified string functions hide some from it.
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

# glibc's checked functions need the optimiser (and warn without it), so only
# the optimised configurations get them. -U first: some compilers define it
# themselves, and a second definition would be a warning.
if(NOT packager_compile_flags MATCHES "_FORTIFY_SOURCE")
  target_compile_options(iosort_options INTERFACE
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()

# Full RELRO: the relocations, the GOT among them, read-only once resolved,
# which BIND_NOW (-z now) does at start. Each -z keyword goes in unless the
# packager's link flags set it or its opposite.
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

# Control-flow protection (CET, x86 only) works only in a program marked for
# it, and the linker marks one only when all its parts are marked, the C
# library's start files among them. Where those are not (Debian 12's), the
# flag would add its instructions and protect nothing, so a probe program
# linked with it decides.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$"
   AND NOT packager_compile_flags MATCHES "-fcf-protection")
  if(NOT DEFINED IOSORT_HAVE_CF_PROTECTION)
    set(probe_dir ${CMAKE_BINARY_DIR}/CMakeFiles/cf-protection-probe)
    file(WRITE ${probe_dir}/probe.cpp "int main() { return 0; }\n")
    try_compile(probe_built ${probe_dir}/build ${probe_dir}/probe.cpp
      COMPILE_DEFINITIONS -fcf-protection
      COPY_FILE ${probe_dir}/probe)
    set(marked OFF)
    if(probe_built)
      file(READ ${probe_dir}/probe probe_hex HEX)
      # The property GNU_PROPERTY_X86_FEATURE_1_AND (0xc0000002), four bytes
      # long, with both IBT and SHSTK set.
      string(FIND "${probe_hex}" "020000c00400000003000000" at)
      if(at GREATER_EQUAL 0)
        set(marked ON)
      endif()
    endif()
    set(IOSORT_HAVE_CF_PROTECTION ${marked} CACHE INTERNAL
      "-fcf-protection gives a program marked for control-flow protection")
    if(NOT marked)
      message(STATUS "Control-flow protection left out: a program built here "
                     "with -fcf-protection is not marked for it")
    endif()
  endif()
  if(IOSORT_HAVE_CF_PROTECTION)
    target_compile_options(iosort_options INTERFACE -fcf-protection)
  endif()
endif()
