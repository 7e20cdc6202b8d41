# The import libraries that ship with a DLL, made from its module-definition
# file rather than taken from the link step, whose own import library knows
# only the names the DLL exports (not the decorated ones callers refer to).

find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
if(MINGW_ARCH STREQUAL "i686")
  set(_llvm_machine i386)
else()
  set(_llvm_machine i386:x86-64)
endif()
set(SHIPPED_LIB_DIR ${CMAKE_BINARY_DIR}/lib)

# Makes lib<target>.dll.a (GNU) and <target>.lib (MSVC) in SHIPPED_LIB_DIR,
# and the target <target>_shipped that links consumers against the GNU one.
function(add_shipped_import_libraries target def)
  set(gnu ${SHIPPED_LIB_DIR}/lib${target}.dll.a)
  set(msvc ${SHIPPED_LIB_DIR}/${target}.lib)
  add_custom_command(
    OUTPUT ${gnu} ${msvc}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SHIPPED_LIB_DIR}
    COMMAND ${CMAKE_DLLTOOL} -k -d ${def} -D ${target}.dll -l ${gnu}
    COMMAND ${LLVM_DLLTOOL} -k -m ${_llvm_machine} -d ${def} -D ${target}.dll -l ${msvc}
    DEPENDS ${def}
    COMMENT "Import libraries of ${target}.dll from ${def}")
  add_custom_target(${target}_import_libraries ALL DEPENDS ${gnu} ${msvc})
  # The link step's own import library stays out of the shipped folders.
  set_target_properties(${target} PROPERTIES ARCHIVE_OUTPUT_DIRECTORY
                                             ${CMAKE_BINARY_DIR}/unshipped)
  add_library(${target}_shipped INTERFACE)
  target_link_libraries(${target}_shipped INTERFACE ${gnu})
  add_dependencies(${target}_shipped ${target}_import_libraries ${target})
  install(FILES ${gnu} ${msvc} DESTINATION lib)
endfunction()

# Shipped binaries go out stripped; their debug information stays beside them
# in <file>.debug, which the binary names (with its CRC) in a debug link.
function(ship_stripped target)
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_STRIP} --strip-all ${file}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
    VERBATIM)
  install(TARGETS ${target} RUNTIME DESTINATION bin)
endfunction()
