# The include-order check catches what it is meant to catch: in a small generated tree with its own
# include table it must fail on a file that includes a folder above its own and on modules that
# include each other in a circle, in any folder, and pass once both are gone.
#   cmake -DCHECK=<cmake/check_includes.cmake> -DWORK=<scratch folder> -P include_order_test.cmake
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE "${WORK}")

function(write_tree)
  file(REMOVE_RECURSE "${WORK}")
  file(WRITE "${WORK}/table.cmake" "set(folders base update ui app)\nset(below_base)\nset(below_update base)\n"
                                   "set(below_ui base update)\nset(below_app base update ui)\n")
  file(WRITE "${WORK}/base/text.h" "#pragma once\n")
  file(WRITE "${WORK}/update/updater.h" "#pragma once\n#include \"base/text.h\"\n")
  file(WRITE "${WORK}/ui/frame.h" "#pragma once\n#include \"update/updater.h\"\n")
  file(WRITE "${WORK}/ui/frame.cpp" "#include \"ui/frame.h\"\n#include \"ui/main_screen.h\"\n")
  file(WRITE "${WORK}/ui/main_screen.h" "#pragma once\n")
  file(WRITE "${WORK}/app/main.cpp" "#include \"ui/frame.h\"\n#include <windows.h>\n")
endfunction()

function(run_check expect_failure)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DROOT=${WORK} -DTABLE=${WORK}/table.cmake -P "${CHECK}"
                  RESULT_VARIABLE result
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(expect_failure AND result EQUAL 0)
    message(FATAL_ERROR "the check passed a tree with violations:\n${output}")
  elseif(NOT expect_failure AND NOT result EQUAL 0)
    message(FATAL_ERROR "the check failed a clean tree:\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

write_tree()
run_check(FALSE)

# update/ reaching up into ui/, and ui/main_screen including ui/frame back.
file(APPEND "${WORK}/update/updater.h" "#include \"ui/frame.h\"\n")
file(WRITE "${WORK}/ui/main_screen.cpp" "#include \"ui/main_screen.h\"\n#include \"ui/frame.h\"\n")
run_check(TRUE)
foreach(expected "update/updater.h includes ui/frame.h" "frame -> main_screen -> frame")
  string(FIND "${output}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check did not report \"${expected}\":\n${output}")
  endif()
endforeach()

# A longer circle through a third module is a circle too.
write_tree()
file(WRITE "${WORK}/ui/main_screen.cpp" "#include \"ui/actions.h\"\n")
file(WRITE "${WORK}/ui/actions.cpp" "#include \"ui/frame.h\"\n")
run_check(TRUE)
string(FIND "${output}" "actions -> frame -> main_screen -> actions" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the check did not report the three-module circle:\n${output}")
endif()

# Every folder is checked for circles, the lowest ones too.
write_tree()
file(WRITE "${WORK}/update/updater.cpp" "#include \"update/update_log.h\"\n")
file(WRITE "${WORK}/update/update_log.cpp" "#include \"update/updater.h\"\n")
file(WRITE "${WORK}/update/update_log.h" "#pragma once\n")
run_check(TRUE)
string(FIND "${output}" "update/ modules include each other in a circle" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the check did not report the circle in update/:\n${output}")
endif()
file(REMOVE_RECURSE "${WORK}")
