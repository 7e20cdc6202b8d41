# The dashboard: its pieces as tables, its store reads on every back-end
# (with the schema's upgrade and back-fill), and every page loaded in
# headless Chromium from a store filled by real uploads.
add_executable(intake_dashboard_test
  ${CMAKE_CURRENT_LIST_DIR}/dashboard_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dashboard_store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_test_uploads.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fresh_store_url.cpp)
target_link_libraries(intake_dashboard_test PRIVATE intake_dashboard intake_store gtest_main)
if(TARGET intake_store_postgres AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/postgres_fresh_store.cpp)
  target_sources(intake_dashboard_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/postgres_fresh_store.cpp)
endif()
gtest_discover_tests(intake_dashboard_test DISCOVERY_TIMEOUT 60)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME intake_dashboard_pages
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/intake_dashboard_test.py
                 $<TARGET_FILE:report-intake> ${CMAKE_CURRENT_BINARY_DIR}/work-dashboard)
set_tests_properties(intake_dashboard_pages PROPERTIES TIMEOUT 300 LABELS intake
                     SKIP_REGULAR_EXPRESSION "^SKIP:")
