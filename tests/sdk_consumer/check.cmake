# Installs this build tree into a fresh prefix, then configures and builds
# the consumer project against it alone. Run with -P; the variables below
# come from the test's command line.
#   BUILD_DIR  the build tree to install    SOURCE_DIR  tests/sdk_consumer
#   WORK_DIR   scratch folder               TOOLCHAIN, ARCH  the cross build
file(REMOVE_RECURSE ${WORK_DIR})
foreach(step
        "${CMAKE_COMMAND};--install;${BUILD_DIR};--prefix;${WORK_DIR}/sdk"
        "${CMAKE_COMMAND};-S;${SOURCE_DIR};-B;${WORK_DIR}/build;-G;Ninja;-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN};-DMINGW_ARCH=${ARCH};-DCMAKE_PREFIX_PATH=${WORK_DIR}/sdk;-DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH"
        "${CMAKE_COMMAND};--build;${WORK_DIR}/build")
  execute_process(COMMAND ${step} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${step}\n${out}")
  endif()
endforeach()
