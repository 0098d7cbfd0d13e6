# Toolchain of scripts/windows-check.sh: cross-compiles for Windows with Debian's MinGW-w64
# (CH_MINGW_ARCH x86_64, the default, or i686) against the host's Linux Qt headers and CMake
# packages. Debian ships no Qt built for MinGW, so this build compiles every object for Windows
# and makes the static archives, but it cannot link a shared library or program against Qt:
# those link steps only touch their outputs (mingw-w64-nolink.cmake), and the script links the
# library itself against a stand-in for Qt's import libraries.
if(NOT CH_MINGW_ARCH)
  set(CH_MINGW_ARCH x86_64)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CH_MINGW_ARCH)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CH_MINGW_ARCH})
set(CMAKE_C_COMPILER ${CH_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${CH_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${CH_MINGW_ARCH}-w64-mingw32-windres)

# Windows' headers and libraries come from the cross toolchain; Qt's packages and its code
# generators (moc, rcc) are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${CH_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
list(APPEND CMAKE_PREFIX_PATH /usr/lib/x86_64-linux-gnu/cmake)
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-nolink.cmake)

# The host's packages describe Linux: their shared libraries carry no import library, which
# CMake wants for a Windows target even when nothing links, and a few of Qt 6's dependencies
# (OpenGL, EGL) put the host's /usr/include, with the host's C library headers, on the include
# path. Every find_package() of the project, in whatever directory, mends what it imported.
function(ch_mingw_mend_host_packages)
  get_property(targets DIRECTORY PROPERTY IMPORTED_TARGETS)
  foreach(target ${targets})
    get_target_property(includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
    if(includes)
      list(REMOVE_ITEM includes /usr/include /usr/include/x86_64-linux-gnu)
      set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${includes}")
    endif()
    get_target_property(type ${target} TYPE)
    get_target_property(location ${target} IMPORTED_LOCATION_RELEASE)
    if(target MATCHES "^Qt[56]::" AND type STREQUAL "SHARED_LIBRARY" AND location)
      set_target_properties(${target} PROPERTIES IMPORTED_IMPLIB_RELEASE "${location}" IMPORTED_IMPLIB "${location}")
    endif()
  endforeach()
endfunction()
# CMake reads a toolchain file more than once; wrapping the wrapper would recurse.
get_property(_ch_wrapped GLOBAL PROPERTY CH_MINGW_FIND_PACKAGE_WRAPPED)
if(NOT _ch_wrapped)
  set_property(GLOBAL PROPERTY CH_MINGW_FIND_PACKAGE_WRAPPED TRUE)
  macro(find_package)
    _find_package(${ARGV})
    ch_mingw_mend_host_packages()
  endmacro()
endif()
