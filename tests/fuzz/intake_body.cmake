# The intake's body parser under libFuzzer, from the contract's and the
# fold's own sources, with its kept corpus (intake_corpus/) replayed in the
# test run. Only where the host's pugixml and libcrypto fit the build: not in
# the i686 cross build.
if(CMAKE_CROSSCOMPILING OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  return()
endif()
find_package(PkgConfig)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(INTAKE_PUGIXML IMPORTED_TARGET pugixml)
endif()
find_package(OpenSSL COMPONENTS Crypto)
if(NOT INTAKE_PUGIXML_FOUND OR NOT OpenSSL_FOUND)
  message(STATUS "intake_body_fuzzer skipped: pugixml or libcrypto missing")
  return()
endif()

set(INTAKE_ROOT ${CMAKE_CURRENT_LIST_DIR}/../../intake)
include(${INTAKE_ROOT}/contract/sources.cmake)
add_executable(intake_body_fuzzer intake_body_fuzzer.cpp ${INTAKE_CONTRACT_SOURCES}
                                  ${INTAKE_ROOT}/fold/account_loss.cpp ${INTAKE_ROOT}/fold/fold.cpp
                                  ${INTAKE_ROOT}/fold/user_paths.cpp)
target_include_directories(intake_body_fuzzer PRIVATE ${INTAKE_ROOT} ${CMAKE_CURRENT_LIST_DIR}/..)
target_compile_options(intake_body_fuzzer PRIVATE ${WARNINGS} ${FUZZ_FLAGS})
target_link_options(intake_body_fuzzer PRIVATE ${FUZZ_FLAGS})
target_link_libraries(intake_body_fuzzer PRIVATE PkgConfig::INTAKE_PUGIXML OpenSSL::Crypto)

# Rewrites the named seeds of intake_corpus/ on demand; not part of the run.
add_executable(make_intake_corpus make_intake_corpus.cpp)
target_include_directories(make_intake_corpus PRIVATE ${INTAKE_ROOT} ${CMAKE_CURRENT_LIST_DIR}/..)
target_compile_options(make_intake_corpus PRIVATE ${WARNINGS})

# A campaign, from build/native/fuzz, as for the log reader's target:
#   mkdir -p intake-campaign && cp ../../../tests/fuzz/intake_corpus/* intake-campaign/
#   ./intake_body_fuzzer intake-campaign -dict=../../../tests/fuzz/intake_body.dict \
#       -max_total_time=600
#   ./intake_body_fuzzer -merge=1 ../../../tests/fuzz/intake_corpus intake-campaign
add_test(NAME fuzz_intake_body_corpus_replay
         COMMAND intake_body_fuzzer -runs=0 -rss_limit_mb=2048 -timeout=10
                 ${CMAKE_CURRENT_LIST_DIR}/intake_corpus)
set_tests_properties(fuzz_intake_body_corpus_replay PROPERTIES TIMEOUT 120)

set(INTAKE_FUZZ_WORK ${CMAKE_CURRENT_BINARY_DIR}/intake-fuzz-work)
file(MAKE_DIRECTORY ${INTAKE_FUZZ_WORK}/corpus ${INTAKE_FUZZ_WORK}/artifacts)
add_test(NAME fuzz_intake_body_smoke
         COMMAND intake_body_fuzzer ${INTAKE_FUZZ_WORK}/corpus ${CMAKE_CURRENT_LIST_DIR}/intake_corpus
                 -dict=${CMAKE_CURRENT_LIST_DIR}/intake_body.dict -max_total_time=10
                 -rss_limit_mb=2048 -timeout=10 -artifact_prefix=${INTAKE_FUZZ_WORK}/artifacts/)
set_tests_properties(fuzz_intake_body_smoke PROPERTIES TIMEOUT 120)
