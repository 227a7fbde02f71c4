# Turns binary files into a C++ source of byte arrays, one symbol per file:
# res/art/icon104.png becomes mptest_art_icon104_png.
function(mptest_embed_files out)
  set(inputs ${ARGN})
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} "-DINPUTS=${inputs}" -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFilesRun.cmake
    DEPENDS ${inputs} ${CMAKE_SOURCE_DIR}/cmake/EmbedFilesRun.cmake
    COMMENT "Embedding pictures"
    VERBATIM)
endfunction()
