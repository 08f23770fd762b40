# Runs tavrolin-sim on one scenario and compares what it printed with the
# expectations beside the scenario, byte for byte:
#   NAME.expected.jsonl   standard output (the transcript; empty when none)
#   NAME.expected.status  "exit N" on the first line, then standard error;
#                         absent when the run exits 0 and writes no error
#
#   cmake -DSIM=path/to/tavrolin-sim -DSCENARIO=path/to/NAME.json [-DREPEAT=N] [-DINPUT=PATH]
#         -P check_scenario.cmake
#
# REPEAT=N runs the scenario N times; every run must print the same bytes.
# INPUT=PATH gives the runner PATH in place of NAME.json, which then need not
# exist: an input that cannot be a file in the tree (a device, or a file made
# at test time), checked against NAME's expectations.
# Environment:
#   TAVROLIN_SIM_UPDATE=1   write the expectations from this run instead
#   TAVROLIN_SIM_REPEAT=N   as REPEAT, and in its place
cmake_minimum_required(VERSION 3.25)

if(NOT SIM OR NOT SCENARIO)
  message(FATAL_ERROR "usage: cmake -DSIM=tavrolin-sim -DSCENARIO=NAME.json -P check_scenario.cmake")
endif()

get_filename_component(dir ${SCENARIO} DIRECTORY)
get_filename_component(name ${SCENARIO} NAME_WE)
set(expected_out ${dir}/${name}.expected.jsonl)
set(expected_status ${dir}/${name}.expected.status)

set(input ${name}.json)
if(DEFINED INPUT)
  set(input ${INPUT})
endif()

# Runs the scenario from its own folder; sets out, err and status in the caller.
function(run_once)
  execute_process(COMMAND ${SIM} ${input}
    WORKING_DIRECTORY ${dir}
    OUTPUT_VARIABLE run_out
    ERROR_VARIABLE run_err
    RESULT_VARIABLE run_code)
  set(out "${run_out}" PARENT_SCOPE)
  set(status "exit ${run_code}\n${run_err}" PARENT_SCOPE)
endfunction()

run_once()
set(first_out "${out}")
set(first_status "${status}")

set(repeat 1)
if(DEFINED REPEAT)
  set(repeat ${REPEAT})
endif()
if(DEFINED ENV{TAVROLIN_SIM_REPEAT})
  set(repeat $ENV{TAVROLIN_SIM_REPEAT})
endif()
if(repeat GREATER 1)
  foreach(n RANGE 2 ${repeat})
    run_once()
    if(NOT out STREQUAL first_out OR NOT status STREQUAL first_status)
      file(WRITE ${name}.run1.jsonl "${first_out}")
      file(WRITE ${name}.run${n}.jsonl "${out}")
      message(FATAL_ERROR "${name}: run ${n} printed other bytes than run 1 "
                          "(both kept as ${name}.run1.jsonl and ${name}.run${n}.jsonl)")
    endif()
  endforeach()
endif()

if("$ENV{TAVROLIN_SIM_UPDATE}" STREQUAL "1")
  file(WRITE ${expected_out} "${first_out}")
  if(first_status STREQUAL "exit 0\n")
    file(REMOVE ${expected_status})
  else()
    file(WRITE ${expected_status} "${first_status}")
  endif()
  message(STATUS "${name}: expectations written")
  return()
endif()

if(NOT EXISTS ${expected_out})
  message(FATAL_ERROR "${name}: no ${name}.expected.jsonl (TAVROLIN_SIM_UPDATE=1 writes it)")
endif()
file(READ ${expected_out} want_out)
set(want_status "exit 0\n")
if(EXISTS ${expected_status})
  file(READ ${expected_status} want_status)
endif()

set(failed FALSE)
if(NOT first_status STREQUAL want_status)
  message("${name}: exit status or error line differs\n--- expected\n${want_status}--- actual\n${first_status}")
  set(failed TRUE)
endif()
if(NOT first_out STREQUAL want_out)
  set(actual_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.actual.jsonl)
  file(WRITE ${actual_file} "${first_out}")
  message("${name}: transcript differs from ${name}.expected.jsonl (actual kept as ${actual_file})")
  find_program(DIFF diff)
  if(DIFF)
    execute_process(COMMAND ${DIFF} -u ${expected_out} ${actual_file})
  endif()
  set(failed TRUE)
endif()
if(failed)
  message(FATAL_ERROR "${name}: FAILED")
endif()
