# The platform-neutral reader sources, shared by the native test build and the
# Windows DLL build so both compile the same list. The record walk is the
# format folder's.
include(${CMAKE_CURRENT_LIST_DIR}/../format/neutral_sources.cmake)
set(LOGREPORT_NEUTRAL_SOURCES
    ${LOGFORMAT_NEUTRAL_SOURCES}
    ${CMAKE_CURRENT_LIST_DIR}/keyed_text_hash.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_fold.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_parse.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xml_text.cpp)
