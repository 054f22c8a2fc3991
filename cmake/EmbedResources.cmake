# quivra_embed_resources(TARGET script.rc ...): compiles resource scripts
# into TARGET, where the platform finds them at run time. Editing a script
# regenerates its source at the next build.
set(QUIVRA_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_resource_script.cmake CACHE INTERNAL "")

function(quivra_embed_resources target)
  foreach(script ${ARGN})
    get_filename_component(absolute ${script} ABSOLUTE)
    get_filename_component(name ${script} NAME_WE)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_${name}_resources.cpp)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${absolute} -DOUTPUT=${output} -DNAME=${name}
              -P ${QUIVRA_EMBED_SCRIPT}
      DEPENDS ${absolute} ${QUIVRA_EMBED_SCRIPT}
      COMMENT "Embedding resources ${name}")
    target_sources(${target} PRIVATE ${output})
  endforeach()
endfunction()
