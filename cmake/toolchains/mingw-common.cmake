# What the two MinGW-w64 toolchains share; PW_MINGW_ARCH is set by the file
# that includes this one. The -posix compilers are the ones with std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${PW_MINGW_ARCH})
set(PW_MINGW_HOST ${PW_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${PW_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PW_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${PW_MINGW_HOST}-windres)

# The libraries built from Debian's source packages by
# scripts/build-windows-deps.sh.
if(NOT PUMPWIRE_WINDOWS_DEPS)
  if(DEFINED ENV{PUMPWIRE_WIN_DEPS_CACHE})
    set(PUMPWIRE_WINDOWS_DEPS "$ENV{PUMPWIRE_WIN_DEPS_CACHE}/${PW_MINGW_ARCH}")
  else()
    set(PUMPWIRE_WINDOWS_DEPS "$ENV{HOME}/.cache/pumpwire-windows/${PW_MINGW_ARCH}")
  endif()
endif()
set(PUMPWIRE_WINDOWS_DEPS "${PUMPWIRE_WINDOWS_DEPS}" CACHE PATH "Windows libraries built from Debian sources")

set(CMAKE_FIND_ROOT_PATH /usr/${PW_MINGW_HOST} ${PUMPWIRE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
