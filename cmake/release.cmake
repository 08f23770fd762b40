# The release's downloads in one folder: the zips of the windows and
# windows-x86 presets' package steps, and one SHA256SUMS that lists both (the
# format `sha256sum -c` reads). Run from the source folder once both packages
# are built:
#
#   cmake -P cmake/release.cmake
#
# gives build/release/. Each package step also writes a SHA256SUMS for its
# own zip beside it; the release's lists both, so that one file checks
# whichever zip a user took.
get_filename_component(source "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(release "${source}/build/release")

# The version the package steps put into the names, from the project.
file(STRINGS "${source}/CMakeLists.txt" project REGEX "^project\\(TavrolinUpgrade VERSION ")
string(REGEX REPLACE "^project\\(TavrolinUpgrade VERSION ([0-9.]+).*" "\\1" version "${project}")

file(REMOVE_RECURSE "${release}")
file(MAKE_DIRECTORY "${release}")
set(sums "")
# In name order: win32, then win64.
foreach(preset_and_arch windows-x86:win32 windows:win64)
  string(REPLACE ":" ";" pair "${preset_and_arch}")
  list(GET pair 0 preset)
  list(GET pair 1 arch)
  set(name "TavrolinUpgrade-${version}-${arch}.zip")
  set(zip "${source}/build/${preset}/package/${name}")
  if(NOT EXISTS "${zip}")
    message(FATAL_ERROR "no ${name} in build/${preset}/package: build the ${preset} preset's "
                        "package first")
  endif()
  file(COPY_FILE "${zip}" "${release}/${name}")
  file(SHA256 "${release}/${name}" hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${release}/SHA256SUMS" "${sums}")
message(STATUS "release in ${release}:\n${sums}")
