# The pointer images live beside the executable: the program looks for them
# in its own folder.
include_guard(GLOBAL)

set(QB_DATA_DIR ${CMAKE_CURRENT_LIST_DIR}/../data CACHE INTERNAL "Pointer images and other shipped files")

# Copies the pointer images next to TARGET's file after every build.
function(qb_copy_pointer_files target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${QB_DATA_DIR}/HAND-M.CUR ${QB_DATA_DIR}/drag.ico ${QB_DATA_DIR}/quillbarrow.png $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

install(FILES ${QB_DATA_DIR}/HAND-M.CUR ${QB_DATA_DIR}/drag.ico ${QB_DATA_DIR}/quillbarrow.png DESTINATION bin)
