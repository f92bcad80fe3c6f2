# The shipped build: 32-bit Windows. Its programs run under Wine once Debian's
# wine32:i386 is installed (scripts/setup-debian.sh --windows).
set(PW_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
