# The write side's test pieces: a twin of LogError.dll with the file-I/O fault
# seam compiled in, the hosts that the writer tests start as processes of
# their own, and the failure-injection test program. Only the twin, which is
# built here and never shipped, has the seam (LOGERROR_FAULT_SEAM).

# The twin takes the library's own sources and settings, whatever they are.
get_target_property(logerror_sources LogError SOURCES)
get_target_property(logerror_dir LogError SOURCE_DIR)
set(twin_sources)
foreach(source IN LISTS logerror_sources)
  if(NOT IS_ABSOLUTE "${source}")
    set(source "${logerror_dir}/${source}")
  endif()
  list(APPEND twin_sources "${source}")
endforeach()
add_library(LogErrorFaults SHARED ${twin_sources})
foreach(property INCLUDE_DIRECTORIES COMPILE_DEFINITIONS COMPILE_OPTIONS LINK_LIBRARIES
                 LINK_OPTIONS)
  get_target_property(value LogError ${property})
  if(value)
    set_property(TARGET LogErrorFaults PROPERTY ${property} "${value}")
  endif()
endforeach()
target_compile_definitions(LogErrorFaults PRIVATE LOGERROR_FAULT_SEAM)
set_target_properties(LogErrorFaults PROPERTIES PREFIX "" OUTPUT_NAME LogErrorFaults)

set(capture_dir ${PROJECT_SOURCE_DIR}/Base/Log/LogError/capture)
set(storage_dir ${PROJECT_SOURCE_DIR}/Base/Log/LogError/storage)
add_executable(fault_host hosts/fault_host.cpp)
target_link_options(fault_host PRIVATE -municode)
target_include_directories(fault_host PRIVATE ${PROJECT_SOURCE_DIR}/Base/Win
                           ${PROJECT_SOURCE_DIR}/Base/Log/LogError/include ${storage_dir})
target_link_libraries(fault_host PRIVATE ole32 oleaut32 uuid)
add_dependencies(fault_host LogErrorFaults crt)

add_executable(crt_host hosts/crt_host.cpp)
target_link_options(crt_host PRIVATE -municode)
target_include_directories(crt_host PRIVATE ${PROJECT_SOURCE_DIR}/Base/Win)
target_link_libraries(crt_host PRIVATE crt)

add_windows_test(fault_tests fault_sweep_test.cpp)
target_include_directories(fault_tests PRIVATE ${storage_dir})
add_dependencies(fault_tests fault_host LogErrorFaults)
add_dependencies(capture_tests fault_host)
target_include_directories(capture_tests PRIVATE ${capture_dir})
add_dependencies(crt_tests crt_host)
