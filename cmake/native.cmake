# Linux build: unit and headless tests, developer tools, benchmarks.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

# With no test source yet the build still configures; ctest then finds no
# test, which the test presets count as a failure.
file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cpp)
if(test_sources)
  add_executable(tavrolin_tests ${test_sources})
  target_link_libraries(tavrolin_tests PRIVATE tav_sim_desktop GTest::gtest GTest::gtest_main)
  tav_warnings(tavrolin_tests)
  # Tests that read committed files (the user guide) find them here.
  target_compile_definitions(tavrolin_tests PRIVATE TAV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # Every test ends within seconds, even on a sanitizer build; one that hangs
  # (a thread left running at exit, say) fails after a minute.
  gtest_discover_tests(tavrolin_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)
endif()

file(GLOB tool_cmakes CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*/CMakeLists.txt)
foreach(tool_cmake IN LISTS tool_cmakes)
  get_filename_component(tool_dir ${tool_cmake} DIRECTORY)
  add_subdirectory(${tool_dir})
endforeach()
