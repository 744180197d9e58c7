# Every executable gets a map file beside it, made after each link from its
# own symbols and line table, in the layout that the tracked heap reads to
# name the code behind each block (utils/runtime/MapFile).
set(MAP_FILE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/make-map-file.sh)

function(add_map_file target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${MAP_FILE_SCRIPT}
      $<TARGET_FILE:${target}>
      $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.map
      ${CMAKE_NM} ${CMAKE_OBJDUMP} ${CMAKE_SOURCE_DIR}
    VERBATIM)
  set_property(TARGET ${target} PROPERTY HAS_MAP_FILE TRUE)
endfunction()

# Fails the configuration when an executable under `dir` has no map file.
function(check_map_files dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(mapped ${target} HAS_MAP_FILE)
    if(type STREQUAL "EXECUTABLE" AND NOT mapped)
      message(FATAL_ERROR "Executable ${target} has no map file: call add_map_file(${target}) after adding it.")
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    check_map_files(${subdirectory})
  endforeach()
endfunction()
