# The pointer images and the window icon live beside the built programs,
# which look for them in their own folder; installed, they go to the shared
# data folder, where the program looks next.
include_guard(GLOBAL)

set(QB_DATA_DIR ${CMAKE_CURRENT_LIST_DIR}/../data CACHE INTERNAL "Pointer images and other shipped files")
set(QB_SHARED_FILES_DIR share/quillbarrow CACHE INTERNAL "Where the shipped files are installed")
file(RELATIVE_PATH qb_from_program /bin /${QB_SHARED_FILES_DIR})
set(QB_SHARED_FILES_FROM_PROGRAM ${qb_from_program} CACHE INTERNAL "The shared data folder, seen from bin/")

# Copies the pointer images next to TARGET's file after every build.
function(qb_copy_pointer_files target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${QB_DATA_DIR}/HAND-M.CUR ${QB_DATA_DIR}/drag.ico ${QB_DATA_DIR}/quillbarrow.png $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

install(FILES ${QB_DATA_DIR}/HAND-M.CUR ${QB_DATA_DIR}/drag.ico ${QB_DATA_DIR}/quillbarrow.png
        DESTINATION ${QB_SHARED_FILES_DIR} COMPONENT window)
