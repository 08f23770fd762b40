# Runs inside CPack after the zip is made: rewrites it with fixed entry times
# and order, then lists its SHA-256 in SHA256SUMS beside it (the format
# `sha256sum -c` reads).
#
# The entries are dated at SOURCE_DATE_EPOCH when it is set; else at the
# commit time that `git archive` wrote into cmake/commit_time.txt (export-subst
# in .gitattributes), so that a source archive, which has no git history,
# gives the same zip as a clone; else at the time of the last git commit. The
# archive's time comes before git's: an archive unpacked inside another
# repository must not take that repository's time.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  file(STRINGS "${CPACK_TAV_SOURCE_DIR}/cmake/commit_time.txt" archived LIMIT_COUNT 1)
  if(archived MATCHES "^[0-9]+$")
    set(epoch "${archived}")
  endif()
endif()
if(epoch STREQUAL "")
  execute_process(COMMAND git -C "${CPACK_TAV_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR epoch STREQUAL "")
    message(FATAL_ERROR "no SOURCE_DATE_EPOCH, no commit time from a source archive and no git "
                        "commit to take the release time from")
  endif()
endif()

set(sums "")
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND "${CPACK_TAV_PYTHON}" "${CPACK_TAV_SOURCE_DIR}/cmake/reproducible_zip.py"
                          "${zip}" "${epoch}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not rewrite ${zip}")
  endif()
  file(SHA256 "${zip}" hash)
  get_filename_component(name "${zip}" NAME)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")
