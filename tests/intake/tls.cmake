# The intake's own https, end to end: the release program with a test
# authority's certificate made by openssl.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME intake_tls
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/intake_tls_test.py
                 $<TARGET_FILE:report-intake> ${CMAKE_CURRENT_BINARY_DIR}/work-tls)
set_tests_properties(intake_tls PROPERTIES TIMEOUT 300 LABELS intake)
