# Windows build (mingw-w64 cross compiler): the real Win32 adapters, the
# program, its demo build and the tests that run under Wine.
tav_glob(win32_sources src/platform/win32)
add_library(tav_win32 STATIC ${win32_sources})
target_link_libraries(tav_win32 PUBLIC tav_core setupapi comctl32 gdiplus gdi32 ole32 uuid)
tav_warnings(tav_win32)

file(GLOB wine_cmake CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/CMakeLists.txt)
if(wine_cmake)
  add_subdirectory(tests/wine)
endif()
file(GLOB res_cmake CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/CMakeLists.txt)
if(res_cmake)
  add_subdirectory(res)
endif()
