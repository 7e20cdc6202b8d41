# The SDK as an integrator gets it: installed, found with find_package and
# linked through LogError::LogError; built on every host, run where the host
# runs this architecture.
set(_work ${CMAKE_BINARY_DIR}/sdk-consumer)
add_test(NAME sdk_consumer_builds
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DSOURCE_DIR=${CMAKE_CURRENT_LIST_DIR} -DWORK_DIR=${_work} -DARCH=${MINGW_ARCH}
                 -P ${CMAKE_CURRENT_LIST_DIR}/check.cmake)
set_tests_properties(sdk_consumer_builds PROPERTIES LABELS artifacts FIXTURES_SETUP sdk_consumer)
add_test(NAME sdk_consumer_runs COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR}
                                        ${_work}/build/sdk_consumer.exe)
set_tests_properties(sdk_consumer_runs PROPERTIES FIXTURES_REQUIRED sdk_consumer
                                                  ENVIRONMENT "CRT_DATA_DIR=Z:${_work}/data")
