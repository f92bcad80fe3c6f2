# The shipped build: 32-bit Windows. Its programs cannot run on this machine.
set(PW_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
