# Compiles the sender's IDL into a type library for the target architecture
# and embeds it in `target` as resource TYPELIB 1, where LoadTypeLib finds it.
find_program(WIDL NAMES x86_64-w64-mingw32-widl i686-w64-mingw32-widl widl REQUIRED)
# stdole2.tlb, which the library block imports, ships with 64-bit Wine.
find_file(STDOLE2_TLB stdole2.tlb PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
          /usr/lib/wine/x86_64-windows NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

function(embed_type_library target idl)
  if(MINGW_ARCH STREQUAL "i686")
    set(syskind --win32)
  else()
    set(syskind --win64)
  endif()
  get_filename_component(name ${idl} NAME_WE)
  set(tlb ${CMAKE_BINARY_DIR}/include/${name}.tlb)
  get_filename_component(stdole_dir ${STDOLE2_TLB} DIRECTORY)
  add_custom_command(
    OUTPUT ${tlb}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/include
    COMMAND ${WIDL} ${syskind} -t -L ${stdole_dir} -o ${tlb} ${idl}
    DEPENDS ${idl}
    COMMENT "Type library ${name}.tlb (${MINGW_ARCH})")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_typelib.rc)
  file(WRITE ${rc} "1 TYPELIB \"${tlb}\"\n")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${tlb})
  target_sources(${target} PRIVATE ${rc})
  install(FILES ${idl} ${tlb} DESTINATION include)
endfunction()
