# The write side's test pieces: the hosts that the writer tests start as
# processes of their own, and the failure-injection test program, both over
# LogErrorFaults.dll, the library's twin with the file-I/O fault seam.

add_executable(fault_host hosts/fault_host.cpp)
target_link_options(fault_host PRIVATE -municode)
target_include_directories(fault_host PRIVATE ${PROJECT_SOURCE_DIR}/Base
                           ${PROJECT_SOURCE_DIR}/Base/Log/LogError
                           ${PROJECT_SOURCE_DIR}/Base/Log/LogError/include)
target_link_libraries(fault_host PRIVATE ole32 oleaut32 uuid)
add_dependencies(fault_host LogErrorFaults crt)

add_executable(crt_host hosts/crt_host.cpp)
target_link_options(crt_host PRIVATE -municode)
target_include_directories(crt_host PRIVATE ${PROJECT_SOURCE_DIR}/Base)
target_link_libraries(crt_host PRIVATE crt)

add_windows_test(fault_tests fault_sweep_test.cpp)
add_dependencies(fault_tests fault_host LogErrorFaults)
add_dependencies(capture_tests fault_host)
add_dependencies(crt_tests crt_host)
