# What a Windows user downloads: `cmake --build --preset windows --target
# package` makes TavrolinUpgrade-<version>-win64.zip (the program, the user
# guide and the licence) and SHA256SUMS beside it; the windows-x86 preset
# makes TavrolinUpgrade-<version>-win32.zip the same way. cmake/release.cmake
# puts both zips together with one SHA256SUMS that lists both.
#
# The release is reproducible: the same commit built in any folder at any time
# gives the same bytes. The compiler drops the build's paths, the linker
# writes no time into the PE header, and the zip's entries carry the time of
# the last commit (SOURCE_DATE_EPOCH when it is set; in a source archive made
# by `git archive`, the commit time written into cmake/commit_time.txt), in a
# fixed order.
#
# Signing is optional: with TAV_SIGN_CERT and TAV_SIGN_KEY naming a
# certificate and its private key (PEM or DER files; TAV_SIGN_PASS the key's
# password, if any) in the environment of the packaging step, the program is
# signed with osslsigncode before it goes into the zip.

# The zip's name says which Windows the program is for: win64 for 64-bit
# Windows, win32 for 32-bit Windows (which 64-bit Windows runs too).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_PACKAGE_FILE_NAME TavrolinUpgrade-${PROJECT_VERSION}-win64)
else()
  set(CPACK_PACKAGE_FILE_NAME TavrolinUpgrade-${PROJECT_VERSION}-win32)
endif()

install(TARGETS TavrolinUpgrade RUNTIME DESTINATION .)
# Notepad of every Windows version reads CRLF; the guide names the version.
configure_file(${CMAKE_SOURCE_DIR}/docs/user-guide.txt
               ${CMAKE_BINARY_DIR}/generated/TavrolinUpgrade-Guide.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/generated/TavrolinUpgrade-Guide.txt DESTINATION .)
# The guide tells the reader which zip to take and how to check it: it must
# name this one.
file(READ ${CMAKE_BINARY_DIR}/generated/TavrolinUpgrade-Guide.txt guide)
string(FIND "${guide}" "${CPACK_PACKAGE_FILE_NAME}.zip" named)
if(named EQUAL -1)
  message(FATAL_ERROR "docs/user-guide.txt does not name ${CPACK_PACKAGE_FILE_NAME}.zip")
endif()
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/generated/LICENSE.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/generated/LICENSE.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME TavrolinUpgrade)
set(CPACK_PACKAGE_VENDOR Tavrolin)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_TAV_SOURCE_DIR ${CMAKE_SOURCE_DIR})
find_program(TAV_PYTHON NAMES python3 REQUIRED)
set(CPACK_TAV_PYTHON ${TAV_PYTHON})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package_sign.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package_finish.cmake)
include(CPack)
