# metashelf_embed(TARGET target FUNCTION name FILES key=path ...): a static
# library `target` holding the files' bytes, reached through
#   const metashelf::EmbeddedFile* name(std::size_t* count);
# (include/embedded_file.h beside the generated source). The source is
# rewritten whenever one of the files changes, so the binaries carry the
# files they were built from and need no data folder at run time.
set(METASHELF_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedFilesScript.cmake)

function(metashelf_embed)
  cmake_parse_arguments(E "" "TARGET;FUNCTION" "FILES" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${E_TARGET}_embedded.cpp)
  set(paths)
  foreach(entry ${E_FILES})
    string(REGEX REPLACE "=.*" "" key "${entry}")
    string(REGEX REPLACE "^[^=]*=" "" path "${entry}")
    list(APPEND paths ${path})
  endforeach()
  string(REPLACE ";" "|" encoded "${E_FILES}")
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DFUNCTION=${E_FUNCTION} "-DFILES=${encoded}"
            -P ${METASHELF_EMBED_SCRIPT}
    DEPENDS ${paths} ${METASHELF_EMBED_SCRIPT}
    COMMENT "Embedding files into ${E_TARGET}" VERBATIM)
  add_library(${E_TARGET} STATIC ${out})
  target_include_directories(${E_TARGET} PUBLIC ${PROJECT_SOURCE_DIR}/cmake/include)
endfunction()
