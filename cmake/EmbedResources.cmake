# Embeds files into the program as byte arrays, registered with the resource registry of platform/.
# A file named <kind>-<id>.<ext> (icon-128.png, bitmap-152.png) becomes resource (<kind>, <id>).
function(qel_embed_resources out_cpp)
  set(files ${ARGN})
  add_custom_command(
    OUTPUT ${out_cpp}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out_cpp} "-DFILES=${files}" -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResourcesRun.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/EmbedResourcesRun.cmake
    COMMENT "Embedding resources"
    VERBATIM)
endfunction()
