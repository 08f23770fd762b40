# Windows build (mingw-w64 cross compiler): the real Win32 adapters, the
# program, its demo build and the tests that run under Wine.
enable_language(RC)

tav_glob(win32_sources src/platform/win32)
add_library(tav_win32 STATIC ${win32_sources})
target_link_libraries(tav_win32 PUBLIC tav_core setupapi comctl32 gdiplus gdi32 ole32 uuid)
tav_warnings(tav_win32)

# A Windows program that scripts/test runs under Wine: exit code 0 is a pass.
# Every such program is listed, one path a line, in wine-tests.txt in the build
# directory.
function(tav_add_wine_test name)
  add_executable(${name} ${ARGN})
  tav_warnings(${name})
  set_property(GLOBAL APPEND PROPERTY TAV_WINE_TESTS ${name})
endfunction()

file(GLOB wine_cmake CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/CMakeLists.txt)
if(wine_cmake)
  add_subdirectory(tests/wine)
endif()
file(GLOB res_cmake CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/CMakeLists.txt)
if(res_cmake)
  add_subdirectory(res)
endif()

get_property(wine_tests GLOBAL PROPERTY TAV_WINE_TESTS)
set(wine_test_list "")
foreach(wine_test IN LISTS wine_tests)
  string(APPEND wine_test_list "$<TARGET_FILE:${wine_test}>\n")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/wine-tests.txt CONTENT "${wine_test_list}")
