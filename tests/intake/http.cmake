# The HTTP face and the program: the answer table's and JSON writer's unit
# tests, and end-to-end runs of the release program (answers, hostile
# senders, read API, kill and restart).
add_executable(intake_http_test ${CMAKE_CURRENT_LIST_DIR}/http_test.cpp)
target_link_libraries(intake_http_test PRIVATE intake_http gtest_main)
gtest_discover_tests(intake_http_test)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
foreach(suite answers kill)
  add_test(NAME intake_${suite}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/intake_${suite}_test.py
                   $<TARGET_FILE:report-intake> ${CMAKE_CURRENT_BINARY_DIR}/work-${suite})
  set_tests_properties(intake_${suite} PROPERTIES TIMEOUT 300 LABELS intake)
endforeach()
