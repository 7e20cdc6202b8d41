# The on-disk format's platform-neutral sources (the record walk, whole
# records, account records, the roll-over's merge plan and its journal),
# owned by capture, the pending log and report alike. Listed here so that the
# native test build and the fuzzer compile the same list as the Windows
# build's glob of this folder.
set(LOGFORMAT_NEUTRAL_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/log_record_walk.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_whole_records.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_accounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_merge_plan.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_append_journal.cpp)
