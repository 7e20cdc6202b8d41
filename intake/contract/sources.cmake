# The contract's sources, for builds that compile them with flags of their own
# (the fuzz target in tests/fuzz).
set(INTAKE_CONTRACT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/content_type.cpp
  ${CMAKE_CURRENT_LIST_DIR}/contract_error.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parse_budget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parse_report_body.cpp
  ${CMAKE_CURRENT_LIST_DIR}/read_upload.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sha256_hex.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_utf8.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_values.cpp)
