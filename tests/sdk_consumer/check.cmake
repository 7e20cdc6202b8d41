# Installs this build tree into a fresh prefix, then configures and builds
# the consumer project against it alone, with the SDK's own toolchain file
# and no other path. Run with -P; the variables below come from the test's
# command line.
#   BUILD_DIR  the build tree to install    SOURCE_DIR  tests/sdk_consumer
#   WORK_DIR   scratch folder               ARCH  the SDK's architecture
file(REMOVE_RECURSE ${WORK_DIR})
foreach(step
        "${CMAKE_COMMAND};--install;${BUILD_DIR};--prefix;${WORK_DIR}/sdk"
        "${CMAKE_COMMAND};-S;${SOURCE_DIR};-B;${WORK_DIR}/build;-G;Ninja;-DCMAKE_TOOLCHAIN_FILE=${WORK_DIR}/sdk/share/LogError/mingw-toolchain.cmake"
        "${CMAKE_COMMAND};--build;${WORK_DIR}/build"
        # An integrator's own toolchain that confines packages to its roots
        # finds the SDK through LogError_DIR.
        "${CMAKE_COMMAND};-S;${SOURCE_DIR};-B;${WORK_DIR}/fallback;-G;Ninja;-DCMAKE_TOOLCHAIN_FILE=${WORK_DIR}/sdk/share/LogError/mingw-cross.cmake;-DMINGW_ARCH=${ARCH};-DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY;-DLogError_DIR=${WORK_DIR}/sdk/lib/cmake/LogError")
  execute_process(COMMAND ${step} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${step}\n${out}")
  endif()
endforeach()
