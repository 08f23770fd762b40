# Cross toolchain for 64-bit Windows.
set(TAV_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)
