# Runs inside CPack once the files are staged and before they are zipped:
# signs the program with Authenticode when a certificate and key are given.
set(cert "$ENV{TAV_SIGN_CERT}")
set(key "$ENV{TAV_SIGN_KEY}")
if(cert STREQUAL "" AND key STREQUAL "")
  message(STATUS "TavrolinUpgrade.exe is not signed (TAV_SIGN_CERT and TAV_SIGN_KEY are not set)")
  return()
endif()
if(cert STREQUAL "" OR key STREQUAL "")
  message(FATAL_ERROR "signing needs both TAV_SIGN_CERT and TAV_SIGN_KEY")
endif()
find_program(osslsigncode osslsigncode REQUIRED)

set(exe "${CPACK_TEMPORARY_DIRECTORY}/TavrolinUpgrade.exe")
set(password)
if(NOT "$ENV{TAV_SIGN_PASS}" STREQUAL "")
  set(password -pass "$ENV{TAV_SIGN_PASS}")
endif()
execute_process(
  COMMAND ${osslsigncode} sign -certs "${cert}" -key "${key}" ${password}
          -n "Tavrolin Combo Upgrade" -h sha256 -in "${exe}" -out "${exe}.signed"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${exe}.signed")
  message(FATAL_ERROR "osslsigncode could not sign TavrolinUpgrade.exe")
endif()
file(RENAME "${exe}.signed" "${exe}")
message(STATUS "TavrolinUpgrade.exe signed with ${cert}")
