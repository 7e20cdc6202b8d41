# The PostgreSQL store's own tests: a server that goes away, two nodes on one
# database, the schema's lock, day partitions. They run against the server
# in INTAKE_TEST_PG_URL (scripts/pg-cluster.sh) and skip without one.
if(TARGET intake_store_postgres)
  add_executable(intake_postgres_store_test
    ${CMAKE_CURRENT_LIST_DIR}/postgres_store_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pg_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fresh_store_url.cpp
    ${CMAKE_CURRENT_LIST_DIR}/postgres_fresh_store.cpp)
  target_link_libraries(intake_postgres_store_test PRIVATE
    intake_store_postgres intake_store_sqlite gtest_main)
  target_compile_definitions(intake_postgres_store_test PRIVATE
    INTAKE_PG_CLUSTER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/../../scripts/pg-cluster.sh")
  gtest_discover_tests(intake_postgres_store_test DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 LABELS postgres)

  # The store's own commit rate on PostgreSQL (not a test): typical uploads in
  # groups of 1, 8 and 16, and one full-size upload.
  add_executable(intake_pg_commit_rate ${CMAKE_CURRENT_LIST_DIR}/pg_commit_rate.cpp)
  target_link_libraries(intake_pg_commit_rate PRIVATE intake_store)
endif()
