# What a Windows user downloads: `cmake --build --preset windows --target
# package` makes TavrolinUpgrade-<version>-win64.zip (the program, the user
# guide and the licence) and SHA256SUMS beside it.
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

install(TARGETS TavrolinUpgrade RUNTIME DESTINATION .)
# Notepad of every Windows version reads CRLF; the guide names the version.
configure_file(${CMAKE_SOURCE_DIR}/docs/user-guide.txt
               ${CMAKE_BINARY_DIR}/generated/TavrolinUpgrade-Guide.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/generated/TavrolinUpgrade-Guide.txt DESTINATION .)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/generated/LICENSE.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/generated/LICENSE.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME TavrolinUpgrade)
set(CPACK_PACKAGE_VENDOR Tavrolin)
set(CPACK_PACKAGE_FILE_NAME TavrolinUpgrade-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_TAV_SOURCE_DIR ${CMAKE_SOURCE_DIR})
find_program(TAV_PYTHON NAMES python3 REQUIRED)
set(CPACK_TAV_PYTHON ${TAV_PYTHON})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package_sign.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package_finish.cmake)
include(CPack)
