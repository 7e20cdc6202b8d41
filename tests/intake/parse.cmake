# The upload contract's and the fold's unit tests.
add_executable(intake_parse_tests ${CMAKE_CURRENT_LIST_DIR}/contract_test.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/fold_test.cpp)
target_include_directories(intake_parse_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(intake_parse_tests PRIVATE intake_fold intake_contract gtest_main)
gtest_discover_tests(intake_parse_tests PROPERTIES TIMEOUT 120 DISCOVERY_TIMEOUT 60)
