# Writes the scenario inputs too large to keep in the tree into OUT:
#   at_size_bound.json    "{}" after blanks, 4 MiB in all: the largest file read
#   over_size_bound.json  the same with one blank more
#   many_objects.json     a million objects in the list of actions, the last
#                         with a key given twice (read in quadratic time, it
#                         would take minutes)
#
#   cmake -DOUT=folder -P make_inputs.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT OUT)
  message(FATAL_ERROR "usage: cmake -DOUT=folder -P make_inputs.cmake")
endif()

math(EXPR bound "4 * 1024 * 1024")
math(EXPR blanks "${bound} - 2")
string(REPEAT " " ${blanks} padding)
file(WRITE ${OUT}/at_size_bound.json "${padding}{}")
file(WRITE ${OUT}/over_size_bound.json " ${padding}{}")

string(REPEAT "{}," 999999 actions)
file(WRITE ${OUT}/many_objects.json "{\"user\":[${actions}{\"click\":1090,\"click\":1090}]}\n")
