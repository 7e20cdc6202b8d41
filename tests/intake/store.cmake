# The store's tests: the table every back-end passes (SQLite always,
# PostgreSQL when INTAKE_TEST_PG_URL names a server), SQLite's schema
# upgrades, and the group committer.
add_executable(intake_store_test
  ${CMAKE_CURRENT_LIST_DIR}/store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_test_uploads.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sqlite_store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/group_commit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fresh_store_url.cpp)
target_link_libraries(intake_store_test PRIVATE intake_store gtest_main)
# The PostgreSQL back-end brings its fresh-database maker in this file.
if(TARGET intake_store_postgres AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/postgres_fresh_store.cpp)
  target_sources(intake_store_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/postgres_fresh_store.cpp)
  target_link_libraries(intake_store_test PRIVATE intake_store_postgres)
endif()
gtest_discover_tests(intake_store_test DISCOVERY_TIMEOUT 60)
