# Windows build (mingw-w64 cross compiler): the real Win32 adapters, the
# program, its demo build and the tests that run under Wine.
enable_language(RC)

# One version number, the project's, for the version record and the
# manifest's identity (Windows wants four parts there).
set(TAV_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
# The manifest names the program's processor; Windows refuses to start a
# program whose manifest names another one.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TAV_MANIFEST_ARCH amd64)
else()
  set(TAV_MANIFEST_ARCH x86)
endif()
configure_file(${CMAKE_SOURCE_DIR}/res/tav_version.h.in
               ${CMAKE_BINARY_DIR}/generated/res/tav_version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/res/TavrolinUpgrade.manifest
               ${CMAKE_BINARY_DIR}/generated/res/TavrolinUpgrade.exe.manifest @ONLY)
# Every target that compiles the resource script finds both there.
include_directories(${CMAKE_BINARY_DIR}/generated/res)

# Reproducible programs: no build folder in the objects and no link time in
# the PE header, so that any folder and any day give the same bytes.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>)
add_link_options(-Wl,--no-insert-timestamp)

tav_glob(win32_sources src/platform/win32)
add_library(tav_win32 STATIC ${win32_sources})
target_link_libraries(tav_win32 PUBLIC tav_core setupapi comctl32 gdiplus gdi32 ole32 uuid)
tav_warnings(tav_win32)

# The demo's Win32 side (sim/demo/): the dialog backend that carries the
# simulated dongle's arrivals and removals to the windows. Linked into the
# demo build and its Wine tests only.
add_library(tav_sim_demo STATIC ${CMAKE_SOURCE_DIR}/sim/demo/demo_services.cpp)
target_link_libraries(tav_sim_demo PUBLIC tav_win32 tav_sim_machine)
tav_warnings(tav_sim_demo)

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

if(TARGET TavrolinUpgrade)
  include(cmake/package.cmake)
endif()

get_property(wine_tests GLOBAL PROPERTY TAV_WINE_TESTS)
set(wine_test_list "")
foreach(wine_test IN LISTS wine_tests)
  string(APPEND wine_test_list "$<TARGET_FILE:${wine_test}>\n")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/wine-tests.txt CONTENT "${wine_test_list}")
