# The installable SDK: bin (DLLs, logtool), include (header, IDL, type
# library), lib (GNU and MSVC import libraries, the CMake package),
# share/LogError (the cross toolchain) and share/doc; and a ZIP of it for each architecture (cpack).
include(CMakePackageConfigHelpers)
set(_package_dir ${CMAKE_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/cmake/package/LogErrorConfig.cmake.in
               ${_package_dir}/LogErrorConfig.cmake @ONLY)
# Not architecture-independent: a 64-bit project cannot use the 32-bit SDK.
write_basic_package_version_file(${_package_dir}/LogErrorConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${_package_dir}/LogErrorConfig.cmake ${_package_dir}/LogErrorConfigVersion.cmake
        DESTINATION lib/cmake/LogError)
# The toolchain an integrator configures with; it reuses this tree's own.
configure_file(${PROJECT_SOURCE_DIR}/cmake/package/mingw-toolchain.cmake.in
               ${_package_dir}/mingw-toolchain.cmake @ONLY)
install(FILES ${_package_dir}/mingw-toolchain.cmake DESTINATION share/LogError)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/mingw-toolchain.cmake DESTINATION share/LogError
        RENAME mingw-cross.cmake)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/performance.md
              ${PROJECT_SOURCE_DIR}/docs/sdk-and-com.md ${PROJECT_SOURCE_DIR}/docs/installer.md
              ${PROJECT_SOURCE_DIR}/docs/tool.md ${PROJECT_SOURCE_DIR}/docs/logging.md
        DESTINATION share/doc/LogError)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME LogError)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME LogError-${PROJECT_VERSION}-${MINGW_ARCH})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
